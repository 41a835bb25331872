/* Reading the flattened device tree the loader hands over:
     node:     u32 property count, u32 child count, the property records, the child nodes
     property: 32-byte NUL-padded name, u32 value length, the value zero-padded to 4 bytes
   Nodes are named by offsets from the start of the block; the root is at offset 0. Every
   function stays inside the block's length, so they are safe on a damaged block too. */
#pragma once

#include <stdint.h>

struct probe_tree {
  const uint8_t* data;
  uint32_t length;
};

enum { kTreeNameField = 32, kTreePropertyHeader = 36, kTreeNodeHeader = 8, kTreeMaxDepth = 32 };

struct tree_property {
  const char* name;
  const uint8_t* value;
  uint32_t length;
};

/* Checks that the whole block is exactly one well-formed root node: counts and lengths inside
   the block, NUL-terminated names, every node named, nesting at most kTreeMaxDepth. On
   failure *reason says what and *at where. */
int tree_validate(const struct probe_tree* tree, const char** reason, uint32_t* at);

/* Offset just past the node (and its children) at node; 0 when it runs outside the block. */
uint32_t tree_node_end(const struct probe_tree* tree, uint32_t node);

uint32_t tree_property_count(const struct probe_tree* tree, uint32_t node);
uint32_t tree_child_count(const struct probe_tree* tree, uint32_t node);
int tree_property_at(const struct probe_tree* tree, uint32_t node, uint32_t index, struct tree_property* property);
int tree_child_at(const struct probe_tree* tree, uint32_t node, uint32_t index, uint32_t* child);
int tree_find_property(const struct probe_tree* tree, uint32_t node, const char* name, struct tree_property* property);
/* The child whose "name" value is name (with its NUL). */
int tree_find_child(const struct probe_tree* tree, uint32_t node, const char* name, uint32_t* child);
/* "/efi/configuration-table" and the like; "/" alone is the root. */
int tree_find_path(const struct probe_tree* tree, const char* path, uint32_t* node);

#include "probe_tree.h"

#include "probe_text.h"

static int fits(const struct probe_tree* tree, uint32_t at, uint32_t size) {
  return at <= tree->length && size <= tree->length - at;
}

uint32_t tree_property_count(const struct probe_tree* tree, uint32_t node) {
  return fits(tree, node, kTreeNodeHeader) ? load_le32(tree->data + node) : 0;
}

uint32_t tree_child_count(const struct probe_tree* tree, uint32_t node) {
  return fits(tree, node, kTreeNodeHeader) ? load_le32(tree->data + node + 4) : 0;
}

/* The property record at *at; advances *at past it. */
static int read_property(const struct probe_tree* tree, uint32_t* at, struct tree_property* property) {
  if (!fits(tree, *at, kTreePropertyHeader)) return 0;
  const uint8_t* record = tree->data + *at;
  uint32_t length = load_le32(record + kTreeNameField);
  uint32_t rounded = (length + 3) & ~3u;
  if (rounded < length || !fits(tree, *at + kTreePropertyHeader, rounded)) return 0;
  property->name = (const char*)record;
  property->value = record + kTreePropertyHeader;
  property->length = length;
  *at += kTreePropertyHeader + rounded;
  return 1;
}

static int name_terminated(const char* name) {
  for (uint32_t i = 0; i < kTreeNameField; ++i) {
    if (!name[i]) return i > 0;
  }
  return 0;
}

/* Walks the properties of the node at node; *end gets the offset of its first child. */
static int walk_properties(const struct probe_tree* tree, uint32_t node, uint32_t* end, const char** reason) {
  uint32_t count = tree_property_count(tree, node);
  uint32_t at = node + kTreeNodeHeader;
  int named = 0;
  if (!fits(tree, node, kTreeNodeHeader)) {
    *reason = "node header outside the block";
    return 0;
  }
  for (uint32_t i = 0; i < count; ++i) {
    struct tree_property property;
    if (!read_property(tree, &at, &property)) {
      *reason = "property outside the block";
      return 0;
    }
    if (!name_terminated(property.name)) {
      *reason = "property name empty or not NUL-terminated";
      return 0;
    }
    if (bytes_equal(property.name, "name", 5)) {
      named = property.length > 1 && property.value[property.length - 1] == 0;
    }
  }
  if (!named) {
    *reason = "node without a NUL-terminated \"name\"";
    return 0;
  }
  *end = at;
  return 1;
}

/* Walks the subtree at node without recursion (the probe's stack is small). */
static uint32_t walk_node(const struct probe_tree* tree, uint32_t node, const char** reason, uint32_t* at) {
  uint32_t pending[kTreeMaxDepth];
  uint32_t depth = 0, offset = node;
  for (;;) {
    uint32_t children = tree_child_count(tree, offset);
    *at = offset;
    if (!walk_properties(tree, offset, &offset, reason)) return 0;
    if (children) {
      if (depth == kTreeMaxDepth) {
        *reason = "nodes nested too deeply";
        return 0;
      }
      pending[depth++] = children;
      continue;
    }
    while (depth && --pending[depth - 1] == 0) --depth;
    if (!depth) return offset;
  }
}

int tree_validate(const struct probe_tree* tree, const char** reason, uint32_t* at) {
  *at = 0;
  if (!tree->data || tree->length < kTreeNodeHeader) {
    *reason = "block missing or shorter than a node";
    return 0;
  }
  uint32_t end = walk_node(tree, 0, reason, at);
  if (!end) return 0;
  if (end != tree->length) {
    *reason = "root node ends before the block";
    *at = end;
    return 0;
  }
  return 1;
}

uint32_t tree_node_end(const struct probe_tree* tree, uint32_t node) {
  const char* reason;
  uint32_t at;
  return walk_node(tree, node, &reason, &at);
}

int tree_property_at(const struct probe_tree* tree, uint32_t node, uint32_t index, struct tree_property* property) {
  uint32_t at = node + kTreeNodeHeader;
  if (index >= tree_property_count(tree, node)) return 0;
  for (uint32_t i = 0; i <= index; ++i) {
    if (!read_property(tree, &at, property)) return 0;
  }
  return 1;
}

int tree_child_at(const struct probe_tree* tree, uint32_t node, uint32_t index, uint32_t* child) {
  const char* reason;
  uint32_t at;
  if (index >= tree_child_count(tree, node) || !walk_properties(tree, node, &at, &reason)) return 0;
  for (uint32_t i = 0; i < index; ++i) {
    at = tree_node_end(tree, at);
    if (!at) return 0;
  }
  *child = at;
  return 1;
}

int tree_find_property(const struct probe_tree* tree, uint32_t node, const char* name, struct tree_property* property) {
  uint32_t count = tree_property_count(tree, node), name_length = text_length(name) + 1;
  uint32_t at = node + kTreeNodeHeader;
  if (name_length > kTreeNameField) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!read_property(tree, &at, property)) return 0;
    if (bytes_equal(property->name, name, name_length)) return 1;
  }
  return 0;
}

int tree_find_child(const struct probe_tree* tree, uint32_t node, const char* name, uint32_t* child) {
  uint32_t count = tree_child_count(tree, node);
  for (uint32_t i = 0; i < count; ++i) {
    struct tree_property property;
    if (!tree_child_at(tree, node, i, child)) return 0;
    if (tree_find_property(tree, *child, "name", &property) && value_is_text(property.value, property.length, name)) {
      return 1;
    }
  }
  return 0;
}

int tree_find_path(const struct probe_tree* tree, const char* path, uint32_t* node) {
  char component[kTreeNameField * 2];
  uint32_t at = 0;
  *node = 0;
  while (path[at]) {
    uint32_t length = 0;
    while (path[at] == '/') ++at;
    if (!path[at]) break;
    while (path[at] && path[at] != '/') {
      if (length + 1 >= sizeof(component)) return 0;
      component[length++] = path[at++];
    }
    component[length] = 0;
    if (!tree_find_child(tree, *node, component, node)) return 0;
  }
  return 1;
}

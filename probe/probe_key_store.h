/* The encrypted root's part of the hand-off (probe_key_store.c). */
#pragma once

#include <stdint.h>

#include "probe_checks.h"
#include "probe_tree.h"

/* The key-store block, "/chosen" "efilogin-unlock-ident" and, with "probe-secrets", a scan of
   loader and boot-services memory for the listed key bytes. */
void probe_check_key_store(const uint8_t* args, const struct probe_tree* tree, int tree_ok,
                           const struct probe_context* context);

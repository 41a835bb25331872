// How a maker's protocol record maps "the Nth operation" to its function table.
//
// A maker's protocol is a record of 8-byte slots. Its Nth operation is slot N, at byte
// offset 8 x (N - 1) from the start of the record. Every slot counts, whether the loader
// calls it or not; slots it never calls are declared `VOID* OperationN`. The one exception
// is a protocol whose description gives it a leading data field by name (the OS information
// protocol's revision, the SMC protocol's reserved word, the revision of the signature and
// device-property protocols): that field comes first and the operations are counted after
// it. Every tarn_*.h header states its slots with the two checks below.
#pragma once

#include "efi/types.h"

// Operation N of Type is Field.
#define TARN_OPERATION(Type, Field, N)                                                  \
  static_assert(offsetof(Type, Field) == 8 * ((N) - 1), #Type ": operation " #N " is " #Field)

// Operation N of Type, counted after a leading data field of HeaderBytes bytes, is Field.
#define TARN_OPERATION_AFTER(Type, HeaderBytes, Field, N)                                 \
  static_assert(offsetof(Type, Field) == (HeaderBytes) + 8 * ((N) - 1),                   \
                #Type ": operation " #N " after the leading field is " #Field)

#pragma once

// The face of our Paradox file code: what the rest of the program reads, writes and finds of
// a table. The codec's folders, from the ground up: format/ (what the bytes mean), io/ (a
// table's files on disk), read/, write/, patch/ (changing values of a table in place, keys and
// indexes rebuilt) and check/ (the health check). Outside the codec, only this header, the
// patch's (patch/table_patch.h) and the check's are meant to be used; a few callers reach for
// one more piece by name (io/file_faults.h for the fault plan of the tests, say).

#include "data/paradox/format/table.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/read/table_reader.h"
#include "data/paradox/write/table_writer.h"
#include "data/paradox/write/value_from_text.h"

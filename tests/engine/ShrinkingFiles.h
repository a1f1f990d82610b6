// Forced into the engine's cylinder-file code as the engine tests build it:
// the runtime's size query answers, and then a file named by the test is cut
// one byte short, as another program could do at any moment between the
// query and the read.
#pragma once

#include <sys/stat.h>

#ifdef _WIN32
using ShrinkingFileStatus = struct _stat64;
int QuerySizeThenShrink(const char* name, ShrinkingFileStatus* status);
#define _stat64(name, status) QuerySizeThenShrink(name, status)
#else
using ShrinkingFileStatus = struct stat;
int QuerySizeThenShrink(const char* name, ShrinkingFileStatus* status);
#define stat(name, status) QuerySizeThenShrink(name, status)
#endif

// Files and folders written under a temporary name of our own beside their
// real one and moved into place only when complete: nothing half-written is
// left under a real name, no file of the user's is taken for a temporary one,
// and nothing is replaced that must not be.
#pragma once

#include <string>

// Whether Windows takes `name` for a device, not a file, whatever its
// extension and case: CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9.
bool IsDeviceName(const std::string& name);

// A temporary name that is ours alone: `base` + ".trakoni-<process>-<n>.partial".
std::string TemporaryName(const std::string& base, int n);

// A new, empty file (or folder) of that name for `base`, created exclusively
// by this run under the first n where nothing is there yet; empty after an
// error message when it cannot be.
std::string CreateTemporaryFile(const std::string& base);
std::string CreateTemporaryFolder(const std::string& base);

// Renames the file or folder `from` to `to` in one step of the system, which
// unless `replace` refuses when anything is at `to` (even something that
// appeared a moment ago). False with the system's error code, which
// AlreadyThere() tells when that was the reason.
bool MoveIntoPlace(const std::string& from, const std::string& to, bool replace, int& error);
bool AlreadyThere(int error);

// Swaps what the two names hold, in one step of the system, so that no moment
// passes with nothing under either; false, with nothing moved, where the
// system has no such step (Windows, file systems that refuse Linux's
// RENAME_EXCHANGE).
bool SwapPlaces(const std::string& first, const std::string& second);

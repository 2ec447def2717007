// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Project directory and ASCII array files.
#pragma once

#include <string>

// Copies the program's own directory into `dir` (MAX_PATHNAME_LEN bytes). Returns 0.
int GetProjectDir(char *dir);

// The text ArrayToFile writes, without writing it: one value per line, right-aligned in
// `fieldWidth`. Returns 0 or a negative code.
int ArrayToText(const void *array, int dataType, int count, int fieldWidth, std::string *out);

// Writes `count` elements of type `dataType` (VAL_UNSIGNED_SHORT_INTEGER or VAL_DOUBLE) as
// ASCII, one value per line, right-aligned in `fieldWidth`. The text goes to a temporary
// file beside the target, which then replaces the target; on failure the target is left as
// it was. A target that exists and is not a regular file is refused (FILE_NOT_REGULAR).
// Returns 0, or a negative code.
int ArrayToFile(const char *file, const void *array, int dataType, int count, int groups, int order,
                int layout, int columnSeparation, int fieldWidth, int fileType, int fileAction);

// Whether a save may go to `file`. A symbolic link there is followed only when the user running
// the program owns it and it leads to an existing file (the rule the kernel's protected_symlinks
// applies in shared folders): a link planted by someone else must not make the program replace
// their target, nor a dangling one create it. Returns FILE_OK (no link, or one of ours),
// FILE_UNSAFE_LINK, or FILE_BAD_ARGUMENT for an empty name. ArrayToFile checks this itself.
int CheckSaveTarget(const char *file);

// Reads `count` elements. Numbers may be separated by white space, commas or tabs. A missing
// file, fewer or more than `count` values, a token that is not a number or a value outside
// the type is refused with a negative code and `array` left untouched. Anything but a regular
// file (a FIFO, a device, a folder) is refused before it is read: reading a FIFO would wait
// for a writer for ever.
int FileToArray(const char *file, void *array, int dataType, int count, int groups, int order,
                int layout, int fileType);

enum {
    FILE_OK = 0,
    FILE_CANNOT_OPEN = -1,
    FILE_TOO_FEW_VALUES = -2,
    FILE_BAD_NUMBER = -3,
    FILE_OUT_OF_RANGE = -4,
    FILE_CANNOT_WRITE = -5,
    FILE_BAD_ARGUMENT = -6,
    FILE_TOO_MANY_VALUES = -7,
    FILE_NOT_REGULAR = -8, // a FIFO, a device or a folder
    FILE_UNSAFE_LINK = -9, // a symbolic link of another user, or one that leads nowhere
};

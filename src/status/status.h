// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The link's state in the status bar under the panel: the port and its device, whether the
// sensor answers, polling and its rate, the last transfer, and whether the panel still shows
// the block it last read or wrote. The transaction code reports what happened; this module
// keeps the state and writes the texts. It never changes the panel or the program's globals.
#pragma once

#include <cstddef>
#include <cstdint>

#include "line/transfer.h"

// Shows the start state and follows the operator's edits from now on. Called once at start.
void StartLinkStatus();

// The port `port` is being opened.
void NotePortOpening(int port);
// The line check: the sensor identified itself / did not answer / the port could not be
// opened (with its message) / the line sent the request back.
void NoteLinkIdentified(const char *ident);
void NoteLinkNoReply();
void NoteLinkPortError(const char *message);
void NoteLinkEchoes();
// A reply was refused, or did not come, for `why` (line::ReplyText names it in the link field).
void NoteLinkFault(line::Reply why);

// The sensor's last identification text as it sent it (Latin-1); "" when none answered since
// the port was last opened or failed.
void LastIdentification(char *out, std::size_t size);

// Recording: to the file `name` with `records` written so far; nullptr when not recording.
void NoteRecording(const char *name, long records);

// Polling: started, a record accepted, a record refused as implausible (polling goes on), a
// data reply that failed for `why` (polling ends), ended. While a pop-up holds the polling loop
// the polling field says "polling paused".
void NotePollingStarted();
void NoteRecord();
void NoteRecordRefused();
void NoteDataFailed(line::Reply why);
void NotePollingEnded();

// A parameter transfer: `what` is "RAM read", "EEPROM written", "init.dat saved", or a failure
// such as "TIMEOUT at GET" (`failed`, shown in warning colours); the time of day is added.
void NoteTransfer(const char *what, bool failed = false);

// The journal could not record the last transfer (`problem` says why, UTF-8): the transfer
// field says so in warning colours until the next transfer.
void NoteJournalProblem(const char *problem);

// The block just read from or written to `where` ("RAM", "EEPROM", a file name): the panel is
// compared with it from now on.
void KeepBlock(const char *where, const std::uint16_t *block);
// Compares what the panel would give now with the kept block and updates the marker.
void CheckPanelBlock();
// Whether the panel would now give another block than the one kept; false while none is kept.
bool PanelDiffersFromKept();

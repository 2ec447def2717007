// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Script runner for end-to-end runs, screenshots and panel tests: timed user actions on the
// most recently loaded panel. Test-only; the shipped program never links it.
//
// A script has one step a line, "<ms> <command> <arguments>", timed from the moment the
// event loop (RunUserInterface) first runs; '#' starts a comment line. Commands:
//   key <key>                 a key as typed (a button with that shortcut is clicked)
//   click <ctrl>              clicks a button
//   rightclick <ctrl>         right mouse button on a control
//   set <ctrl> <value>        sets a value as the user does, with the user's events
//   cell <col> <row> <value>  edits a cell of the panel's table (from 1)
//   file <path>|cancel        queues the answer to the next file pop-up
//   answer yes|no             queues the answer to the next question (yes when none is queued)
//   grab <png>                saves a picture of the panel's window
//   grabmodal <png>           saves a picture of the dialog on top (keys go to it meanwhile)
//   menu <menu>/<item>        chooses an item of the menu bar ("File/Find sensor...")
//   watch                     from now on prints "STATUS <field> <text>" for each change of a
//                             status bar field (fields from 0, left to right)
//   close                     the window's close box
//   quit                      QuitUserInterface(0)
//   await <path>              holds the steps after it until the file exists; their times then
//                             count from that moment (a test's signal that the program may go on)
// Steps run one after the other in the order of their times, each no sooner than its time.
// Every step is announced on stderr as "SCRIPT <line>"; pop-ups never open a dialog but print
// "POPUP <title>|<text, newlines as \n>" (answered OK), "FILEPOPUP <title>|<path or cancel>"
// or "QUESTION <title>|<text>|<yes or no>".
#pragma once

namespace scripted {

// Reads the script `path` (a local file name) and arms it: the runner's pop-up handler is
// installed at once, so that pop-ups before the event loop (a start-up TIMEOUT) are answered
// too, and the steps start when the event loop first runs. Callable before the application
// object exists. Returns false, with the reason on stderr, when the file cannot be read;
// nothing is armed then.
bool ArmScript(const char *path);

// Drops the steps not yet run and the queued file answers, and restores the real pop-ups.
void DisarmScript();

} // namespace scripted

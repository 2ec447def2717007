// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Help texts shown by a right click on each control, and the two warnings. Latin-1; the runs of
// spaces at line ends widen the pop-up and belong to the text.
#include "Tintarov10/state.h"

// clang-format off
const char InfoEditConnect[] =
    " Select a serial COM-PORT.";
const char InfoButtonSend[] =
    " All the parameters of the PC-User-Interface are transferred to the sensor or to a selectable file.                           \n"
    " The target of the parameter transfer is determined by the select button (RAM, EEPROM, FILE).                           \n"
    " Shortcut Key: F9. ";
const char InfoButtonGet[] =
    " Sensor or file parameters are transferred to the PC-User-Interface.                          \n"
    " The source of the parameter transfer is determined by the select button (RAM, EEPROM, FILE).                          \n"
    " Shortcut Key: F10. ";
const char InfoButtonGo[] =
    " Starts data transfer (X, Y, INT, RED, GREEN, BLUE, C-No:) from sensor to PC.                         \n"
    " The data are shown in the displays, color bars and in the graph.                        \n"
    " Shortcut Key: F11. ";
const char InfoButtonStop[] =
    " Stops data transfer from sensor to PC.                        \n"
    " Shortcut Key: F12. ";
const char InfoSelectMEM[] =
    " Select the source respectively the target for the parameter transfer.";
const char InfoSwitchPara[] =
    " Hide or show COLOR TEACH TABLE.";
const char InfoSelectSource[] =
    " Select a signal to be displayed in the graph.";
const char InfoEditEvalmode[] =
    "see manual.";
const char InfoButtonResetTable[] =
    " Reset the COLOR TEACH TABLE.                                 \n"
    " All cells are set to 1.";
const char InfoButtonTeachDataTo[] =
    " Current measured values (X, Y, INT) are assigned to the                                  \n"
    " COLOR TEACH TABLE row selected in the No.: function field.";
const char InfoButtonApplyFromAll[] =
    " Displays the graph with all the taught colors in the COLOR TEACH TABLE                                   \n"
    " and the corresponding tolerance circles (radius = CTO).";
const char InfoButtonZoom[] =
    " Zoom the graph with the taught colors and the corresponding tolerance circle.                           \n"
    " Use the ARROW-KEYS or the MOUSE to move the cross in the graph.";
const char InfoButtonAutoAdjust[] =
    " Starts an automatic adjustment of the circle tolerances (radius = CTO) up to MAXCOL-No.                                 \n"
    " The circles (CTO) can overlap, if an INT separation is granted.                                 \n"
    " Maximum adjusted CTO (radius) is 200.";
const char InfoEditMaxcolNo[] =
    " Select the number of color-vectors in the COLOR TEACH TABLE to be checked (beginning from row 0).                             \n"
    " Aktive rows are labelled green, inaktive are labelled red.                             \n"
    " If OUTMODE = BINARY the maximum number of colors to be checked is 15.                             \n"
    " If OUTMODE = DIRECT HI or DIRECT LO the maximum number of colors is 4.";
const char InfoEditOutmode[] =
    " Select how to control the 4 digital outputs.                            \n"
    " BINARY   : If a color (row 0-14 in the COLOR TEACH TABLE) is detected,                            \n"
    "            this color is displayed in C-No: and is set binary to the digital outputs (OUT0-OUT3).                            \n"
    " DIRECT LO: The maximum number of colors to be taught is 4.                            \n"
    "            If a color (row 0-3 in the COLOR TEACH TABLE) is detected,                            \n"
    "            the special digital output is set to LO, all others are HI.                            \n"
    " DIRECT HI: The maximum number of colors to be taught is 4.                            \n"
    "            If a color (row 0-3 in the COLOR TEACH TABLE) is detected,                            \n"
    "            the special digital output is set to HI, all others are LO.                            \n"
    " If no color is detected, C-No: is 255.";
const char InfoEditPmod[] =
    " Select the operating mode of the exposure time                         \n"
    " STAT: Exposure time is constantly kept at the EXP-TIME[\xB5""s] value.                         \n"
    " DYN : Exposure time is dynamically tuned in accordance with the amount of                          \n"
    "       the target radiation. Sensor should not exceed the dynamic range.";
const char InfoEditAverage[] =
    " Select the number of scanning values (measurement values) over which the raw signal is averaged.";
const char InfoEditTrigger[] =
    " Select the trigger mode for the sensor.                            \n"
    " EXT : Color detection is started through an external trigger.                            \n"
    " CONT: Continuous color detection (no trigger event required).";
const char InfoEditIntlim[] =
    " Select an intensity limit.                           \n"
    " Color evaluation is stopped, if the current intensity INT falls below this limit.                           \n"
    " ERROR STATE is output (C-No: = 255).";
const char InfoEditHold[] =
    " Select the minimum pulse length when a digital output changes.";
const char InfoEditNo[] =
    " Select the current number of a row in the COLOR TEACH TABLE for TEACH DATA TO.";
const char InfoRadioInc[] =
    " Auto increment of Edit Field No.:";
const char InfoDispX[] =
    " Displays the red content of the color currently arriving at the receiver.                      \n"
    " Formula for calculation: X = (R*4095)/(R+G+B).                      \n"
    " R=RED, G=GREEN, B=BLUE";
const char InfoDispY[] =
    " Displays the green content of the color currently arriving at the receiver.                      \n"
    " Formula for calculation: Y = (G*4095)/(R+G+B).                      \n"
    " R=RED, G=GREEN, B=BLUE";
const char InfoDispINT[] =
    " Displays the intensity of the color currently arriving at the receiver.                      \n"
    " Formula for calculation: INT = (R+G+B)/3.                      \n"
    " R=RED, G=GREEN, B=BLUE";
const char InfoDispRAW[] =
    " Displays the current color intensity of RED or GREEN or BLUE                        \n"
    " when EVALMODE is CONTRAST R or CONTRAST G or CONTRAST B";
const char InfoDispCOL[] =
    " Displays the currently detected color number in accordance with the row                        \n"
    " in the COLOR TEACH TABLE.";
const char InfoDispBars[] =
    " Displays the RAW values of RED, GREEN and BLUE.";
const char InfoStatus[] =
    " Displays serial interface status messages.";
const char InfoGraph[] =
    " Displays a signal selected with SOURCE.";
const char InfoEditPower[] =
    " Select the exposure time of the internal integrator.                           \n"
    " 0\xB5""s = no exposure,  1000\xB5""s = full exposure.";
const char InfoMaxColNo[] =
    " ATTENTION! \n"
    " \n"
    " MAXCOL-No. IS TOO HIGH \n"
    " DECREASE MAXCOL-No. OR SWITCH TO OUTMODE=BINARY";
const char InfoTimeout[] =
    " ATTENTION! \n"
    " \n"
    " TIMEOUT \n"
    " NO SERIAL CONNECTION TO SENSOR";
// clang-format on

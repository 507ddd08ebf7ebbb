// Keeps two updaters off one installation: a named mutex for every start, and a counter shared
// by all processes of this program file that lets at most one background run past start-up.
#pragma once
#include <windows.h>

// "{D2F835A0-6893-4128-82EA-E609C4C5A02F}": the mutex name and the instance message's name.
extern const char kInstanceGuid[];

// Registered during static initialisation, before InitInstance runs.
extern const UINT g_nInstanceMessage;

// TRUE: carry on. FALSE: another updater runs (its window, if one answers the instance message,
// is restored and brought forward). The profile entry "IgnoreInstances" of section
// "TalvoUpdate", or an argument "-ignoreinstances" / "/ignoreinstances", switches the check off.
// The mutex handle stays open until the process ends.
BOOL CheckSingleInstance();

// EnumWindows callback: stores in *result the first window that answers the instance message
// with the message's own value, and stops there.
BOOL CALLBACK FindPreviousInstanceProc(HWND window, LPARAM result);

// The background rule on `counter`: FALSE when a background run has already been counted,
// otherwise counts this one and returns TRUE. Test and increment are one atomic step, so two
// background starts in the same instant cannot both pass.
BOOL TryCountBackgroundRun(volatile LONG* counter);

// The counter of all processes of this program file, in the shared data section "UpdateAp".
volatile LONG* BackgroundCounter();

// Wine reads a program's DllOverrides values (HKCU: Software, Wine, AppDefaults, the
// program's name, DllOverrides) at every load only when that key existed when the process
// started. Tests that switch DLLs on and off call this first from main: it returns -1 when the
// key was there (go on), otherwise creates it, runs this program again with the same command
// line and returns the child's exit code.
#pragma once

int RerunWithOverrideKey(const char* keyPath /* under HKEY_CURRENT_USER */);

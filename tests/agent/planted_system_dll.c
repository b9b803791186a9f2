/* A system DLL's name put beside the agent by somebody else (built as dhcpcsvc.dll,
 * iphlpapi.dll and netapi32.dll). It exports only its marker: a program that loaded it
 * would find none of the functions it wanted. */
__declspec(dllexport) int planted_marker(void) { return 1; }

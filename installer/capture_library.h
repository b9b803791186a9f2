// Whether a packet-capture library is where the agent looks for it.
#pragma once

// True when System32\Npcap\wpcap.dll (Npcap) or System32\wpcap.dll (Npcap in WinPcap-
// compatible mode, WinPcap, Wine) exists. The agent starts without one and waits for it.
bool CaptureLibraryPresent();

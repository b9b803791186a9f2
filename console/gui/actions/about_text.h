/* The About box's texts, shared by actions.rc and the code that fills the notice. Plain
 * preprocessor definitions so that the resource compiler can read them too. */
#pragma once

#define NETVANE_VERSION_TEXT "Netvane Version 1.8"
#define NETVANE_COPYRIGHT_TEXT "Copyright (C) 2026 The Netvane developers. All rights reserved."
#define NETVANE_CREDITS_TEXT "Console and agent by the Netvane team; packet capture by libpcap/Npcap."
#define NETVANE_PCAP_ACKNOWLEDGEMENT                                                      \
  "This product includes software developed by The Tcpdump Group, the Npcap project "    \
  "and their contributors."
#define NETVANE_PCAP_COPYRIGHT                                                            \
  "libpcap: Copyright (c) 1993-2008 The Regents of the University of California; "       \
  "Copyright (c) 2008-2024 The Tcpdump Group and contributors. All rights reserved."

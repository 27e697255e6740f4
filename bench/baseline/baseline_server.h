// The baseline's command socket: one text line per command, a reply shaped like the
// agent's (32-byte decimal length header, then the body), so a client times both alike.
//
//   p PAD        prepare and root walk
//   s SIGNATURE  select the JNI-global root of that class for later walks (untimed)
//   e MODE PAD   one-level walk from the selected object; MODE 1 also tags what it meets
//
// The body is one line of "key=value" timings, padded with blanks to PAD bytes so the
// reply costs the same to send as the agent's reply it is compared with.
#pragma once

void run_baseline_server(int port);

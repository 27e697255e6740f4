// The baseline's command socket: one text line per command, a reply shaped like the
// agent's (32-byte decimal length header, then the body), so a client times both alike.
//
//   p PAD        prepare and root walk
//   s SIGNATURE  select the JNI-global root of that class for later walks (untimed)
//   e MODE PAD   one-level walk from the selected object; MODE 1 also tags what it meets
//   h PAD        forced collection and a count of every object by class (histo)
//   t SIG STEP.. tags the object reached from the JNI-global root of SIG through the
//                steps (field names, "[i]" elements) as the target (untimed)
//   r PAD        the roots' walk reporting references to the target only (referrers)
//   x PAD        the same with every root-held object tagged first, as path does
//   f PAD        the roots' walk reporting every reference (the first walk of path)
//   i SIG PAD    collection and a count of the instances of SIG's classes (instances)
//   u            every tag of this agent taken off again, as the agent's sweep does
//
// The body is one line of "key=value" timings (h and t add lines of their own), padded
// with blanks to PAD bytes so the reply costs the same to send as the agent's reply it
// is compared with.
#pragma once

void run_baseline_server(int port);

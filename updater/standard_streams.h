#ifndef ZARN_UPDATER_STANDARD_STREAMS_H_
#define ZARN_UPDATER_STANDARD_STREAMS_H_

namespace zarn {

// Opens /dev/null in place of each of standard input, output and error that the program was
// started without. Otherwise the next file opened would take that number, and whatever is
// written to standard output or error (progress lines, library warnings) would land inside
// a downloaded file. Streams that are open are left alone. False when one cannot be opened.
// Call it first thing in main, before any thread starts.
bool OpenClosedStandardStreams();

}  // namespace zarn

#endif  // ZARN_UPDATER_STANDARD_STREAMS_H_

#pragma once
// The one way the engine library reports what goes wrong or how far it got while it works
// (the FAT drive table's drive lines, the FAT scan's counts, a failed NTFS open): every such
// line goes to the sink the program chose. The command line sends them to stderr, so that
// stdout holds only its result; the window sends them to its log; tests and fuzzing silence
// them. Until a program chooses, lines go to stderr. Nothing of the library goes to stdout.
//
// Any thread may report; lines are handed to the sink one at a time.
#include <functional>
#include <string_view>

// Receives one piece of text (a line or part of one, as the reporter formats it).
using diagnostic_sink = std::function<void(std::string_view text)>;

// Replaces the sink; an empty one silences every report.
void set_diagnostic_sink(diagnostic_sink sink);

// The sink that writes to stderr.
diagnostic_sink stderr_diagnostics();

// Formats (printf style) and hands the text to the sink; costs nothing when silenced.
void diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

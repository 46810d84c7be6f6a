#pragma once
// The program's entry and the steps it shares with the screenshot tool: the single-instance
// lock, the settings and texts (read before the application object exists), and the
// preparation of the application (fonts, record types, image files named as drives).
#include <QLockFile>
#include <QString>
#include <QStringList>

// The folder of the running executable; language.ini and docs/help.html lie there.
QString program_directory();

// "Orvane.lock" in $XDG_RUNTIME_DIR, else in the temporary folder.
QString instance_lock_path();

// Takes the single-instance lock for the whole run. False only when another running instance
// holds it; a lock that cannot be made at all (no writable folder) lets this one go on. A lock
// left by a process that died is taken over.
bool take_instance_lock(QLockFile& lock);

// Reads Orvane.ini from the working directory and the texts from the language.ini beside the
// executable.
void load_program_settings();

// After the application object exists: record types, font substitutions, and the image files
// of the command line as the first drives (those that cannot be opened are named on stderr
// and left out).
void prepare_application(const QStringList& image_paths);

class main_window_c;
class init_c;

// Shows the window and runs the start-up worker as the program does, and returns once it has
// handed its lists to the window (or after timeout_ms): for tools that then drive the window
// themselves.
void start_window_and_wait(main_window_c& window, init_c& init, int timeout_ms);

// The whole run: -1 when another instance runs, else the event loop's result.
int run_program(int argc, char** argv);

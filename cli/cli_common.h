#pragma once
// Shared pieces of vantrel-cli's commands: the parsed command line, output helpers and the
// exit codes (0 success, 1 failure with a one-line reason on stderr, 2 usage error).
#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

#include "disk/drive_item.h"
#include "disk/drive_lookup.h"
#include "volumes/volume_item.h"

enum exit_code { exit_ok = 0, exit_failure = 1, exit_usage = 2 };

struct cli_args_s {
    QString command;
    QStringList positionals;  // after the command
    QStringList images;       // --image IMAGE, as many as given
    bool json = false;
    bool yes = false;
    bool deep = false;
    bool verbose = false;      // the engines' diagnostic lines on stderr
    bool overwritten = false;  // recover: write files whose first cluster was reused too
    QString out;               // --out DIR
    QString save;              // --save FILE
    QString load;              // --load FILE
};

// The text with control characters (ESC, newline, ...) and bidirectional marks written as
// \xNN or \uNNNN, so that a name read from a disk cannot act on the terminal.
QString printable(const QString& text);
// The columns a text takes on a terminal: two for each wide (East Asian) character, none
// for combining marks and invisible format characters, one for the rest.
int display_width(const QString& text);
// A cell of a table: the text made printable, then padded with spaces to `width` columns
// as the terminal shows them (never cut; a longer text pushes the rest of its line along).
QString cell(const QString& text, int width);
// Writes a line to stderr, made printable. The last one is kept: with --json, a command that fails without
// printing its document gets {"error": that line} on stdout.
void err_line(const QString& text);
// Asks for the JSON error document; `json_failure` prints it when a failing command printed
// no document of its own.
void set_json_output(bool json);
void json_failure(int code);
// Prints a JSON document on stdout.
void print_json(const QJsonObject& doc);
// Prints a line on stdout, made printable.
void out_line(const QString& text);
// While one lives, SIGINT (Ctrl-C), SIGTERM and SIGHUP ask the work in progress to stop,
// as Ctrl-C does: it keeps what it found and the command ends as it would at the end. A
// second signal of the same kind is then handled as usual.
class interrupt_guard_c {
public:
    interrupt_guard_c();
    ~interrupt_guard_c();
    interrupt_guard_c(const interrupt_guard_c&) = delete;
    interrupt_guard_c& operator=(const interrupt_guard_c&) = delete;
    // Whether a stop was asked since the last call.
    static bool take();
};

// The one progress line of a long step on stderr: rewritten in place on a terminal;
// elsewhere (a log, a pipe) printed as a line of its own when first shown and then at most
// every 5 seconds, so that a log gets a few lines rather than one per step.
class progress_line_c {
public:
    progress_line_c();
    // The line as it is now; call it as often as is convenient.
    void show(const QString& text);
    // The last state, ending the line.
    void done(const QString& text);
    // Prints a line of its own, through out_line (stdout) or err_line (stderr), from any
    // thread: on a terminal the progress line is cleared first, so that the two do not run
    // together, and drawn again by the next show().
    void above(const QString& text, bool on_stdout);

private:
    void print(const QString& text, bool end);
    bool tty_;
    bool shown_ = false;  // a progress line without its end is on the terminal
    qint64 last_ = -1;    // ms since the start when last printed
    QElapsedTimer clock_;
    std::mutex lock_;  // show, done and above may be called from different threads
};

// "12 s", "3 min 5 s", "2 h 10 min".
QString duration_text(double seconds);

// "1.50 GiB" and the like.
QString human_size(std::uint64_t bytes);

// The item a lookup found; else prints why not, naming the command that lists what can be
// named (`drives`, `volumes`) when the name was not among them.
template <typename item_t>
std::optional<item_t> reported(const lookup_s<item_t>& found, const char* list_command)
{
    if (!found.item)
        err_line(QStringLiteral("vantrel-cli: ") + found.error +
                 (found.unlisted ? QStringLiteral(" (vantrel-cli %1 lists them)").arg(QLatin1String(list_command))
                                 : QString()));
    return found.item;
}

// The drive the user named (find_named_drive); prints the reason and returns nothing when
// there is none.
std::optional<drive_item_s> resolve_drive(const QString& name, const QStringList& images);

// The volume the user named (find_named_volume); prints the reason and returns nothing when
// there is none.
std::optional<volume_item_s> resolve_volume(const QString& name, const QStringList& images);

// Sets up the drive list from image paths; prints the reason and returns false when an
// image cannot be opened.
bool load_drives(const QStringList& images);

int cmd_drives(const cli_args_s& args);
int cmd_search(const cli_args_s& args);
int cmd_repair(const cli_args_s& args);
int cmd_volumes(const cli_args_s& args);
int cmd_scan(const cli_args_s& args);
int cmd_recover(const cli_args_s& args);

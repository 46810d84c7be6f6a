#pragma once
// The folder that recovered files are written into, walked without following symbolic
// links: a link planted inside it (a folder of the recovered tree, or a file's own name,
// pointing elsewhere) must not carry a file outside it. The folder itself is taken as the
// user named it; every folder below it is entered with O_NOFOLLOW, files are created with
// O_EXCL (never through a link, never over a file), and named with a rename that never
// replaces. One object per folder entered; used by one thread at a time.
#include <QString>

class output_folder_c {
public:
    // Enters dir ("a/b", relative, "/" between folders; empty for root itself) below root,
    // making each folder that is missing. valid() tells whether it could; error() why not.
    output_folder_c(const QString& root, const QString& dir);
    ~output_folder_c();
    output_folder_c(const output_folder_c&) = delete;
    output_folder_c& operator=(const output_folder_c&) = delete;

    bool valid() const { return fd_ >= 0; }
    QString error() const { return error_; }
    // root/dir, for the messages and the callers that need a path.
    QString path() const { return path_; }

    // Whether a name is taken in the folder, by anything: a file, a folder, a link (even one
    // that points nowhere).
    bool holds(const QString& name) const;
    // Creates an empty file of a fresh hidden name starting with prefix; the name, or empty
    // (with error() saying why).
    QString create_hidden(const QString& prefix);
    // Gives the file `from` the name `to`, unless `to` is taken: 0, or the errno (EEXIST when
    // taken).
    int rename_new(const QString& from, const QString& to);
    void remove(const QString& name);

private:
    int fd_ = -1;
    QString path_;
    QString error_;
};

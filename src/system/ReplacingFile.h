#pragma once

#include <QFile>
#include <QString>

namespace quilla {

// A file built under a temporary name beside its target and put in place only when
// complete: synced, renamed over the target (which keeps its permissions), and the
// folder synced, so that a crash leaves either the old file or the new one. The
// temporary name is hidden (.~name.xxxxxxxx.tmp) and locked while written; one
// left behind by a run that died is removed when the next write to its folder starts.
class ReplacingFile
{
  public:
    explicit ReplacingFile(const QString &target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Creates the temporary file; false when the folder cannot be written to.
    bool open();
    // Where to write; open, seekable.
    QFile &device() { return m_file; }
    // Puts the file in place; false (and the target untouched) when any step failed.
    bool commit();

  private:
    void discard();

    QString m_target;
    QString m_temporary;
    QFile m_file;
};

} // namespace quilla

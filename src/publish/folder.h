#pragma once
// A folder of pages written whole: the files go into a new folder beside it, which then
// takes its place in one step, so that a web server serving it never serves half of an
// update, and a write that fails leaves the pages before as they were.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace kfc::publish {

class FolderReplacement {
public:
    // The file in every folder written so, by which a later run knows that it may replace it.
    static inline const QString kStamp = QStringLiteral(".kestrova-pages");

    explicit FolderReplacement(const QString& folder);
    // A replacement not committed is removed, and the folder stays as it was.
    ~FolderReplacement();
    FolderReplacement(const FolderReplacement&) = delete;
    FolderReplacement& operator=(const FolderReplacement&) = delete;

    // Makes the new folder beside the folder (and the folders above it when missing).
    // Refuses a folder that holds files it did not write: replacing it would lose them.
    bool begin(QString* error);
    bool write(const QString& name, const QByteArray& bytes, QString* error);
    // Puts the new folder in the place of the old one, then removes the old one.
    bool commit(QString* error);

private:
    QString m_folder;   // as given, for messages
    QString m_target;   // the folder itself, links followed
    std::optional<QTemporaryDir> m_new;
};

} // namespace kfc::publish

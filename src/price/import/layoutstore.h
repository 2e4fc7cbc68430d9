#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "importlayout.h"

// The saved layouts: one readable JSON file per supplier in the user's
// configuration folder, shareable by copying.
class LayoutStore final
{
public:
    // ORDIX_LAYOUT_DIR when set, else "ordix/layouts" in the user's
    // configuration folder.
    static QString defaultFolder();

    explicit LayoutStore(const QString &folder = defaultFolder());

    const QString &folder() const { return m_folder; }
    // Every layout that reads; `problems` receives one line per file that
    // does not.
    QList<ImportLayout> layouts(QStringList *problems = nullptr) const;
    // Writes the layout as "<name>.json" (the name made safe), replacing a
    // layout of that name; returns the file's path. Throws OrdixError when
    // it cannot be written.
    QString save(const ImportLayout &layout) const;
    std::optional<ImportLayout> byName(const QString &name) const;
    // Reads one layout file. Throws OrdixError.
    static ImportLayout load(const QString &path);

    struct Match
    {
        ImportLayout layout;  // applied to the header found
        bool exact = false;   // same fingerprint: no question to ask
        bool complete = true; // every field the layout had was found by its header name
        QStringList changes;  // what changed since the layout was saved
    };
    // The saved layout of a list with this header: the one with the same
    // fingerprint, else the one whose header names are mostly found in it,
    // applied by those names.
    std::optional<Match> match(const QStringList &header, const QString &sheet, int columnCount) const;

private:
    QString m_folder;
};

#pragma once

#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "programactions.h"
#include "schemafile.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "workspace.h"

// What the reader targets share: a failure that names the target and the
// check, a private current folder, a workspace set up as the command-line
// program sets it up, and a file written from the input.
namespace Fuzz
{
    [[noreturn]] inline void fail(const char *target, const char *what)
    {
        std::fprintf(stderr, "%s: %s\n", target, what);
        std::abort();
    }

    inline QByteArray bytes(const uint8_t *data, size_t size)
    {
        return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    }

    // The folder every run works in; the schema files go there too. The
    // current folder stays (libFuzzer reads relative corpus names from it).
    inline const QTemporaryDir &folder()
    {
        static QTemporaryDir *dir = [] {
            auto *d = new QTemporaryDir;
            if (!d->isValid())
                fail("fuzz", "no temporary folder");
            SchemaFile::setFolder(d->path());
            return d;
        }();
        return *dir;
    }

    inline QString path(const QString &name)
    {
        return QDir(folder().path()).filePath(name);
    }

    inline void writeFile(const QString &name, const QByteArray &contents)
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
            fail("fuzz", "cannot write the input file");
    }

    class Session final
    {
    public:
        Session()
        {
            folder();
            ws.setPrompts(&prompts);
            ws.setProgress(&progress);
            ProgramActions::install(ws);
        }

        ScriptedPrompts prompts;
        SilentProgress progress;
        Workspace ws;
    };

    // One session for the process, as a long-running program has.
    inline Session &session()
    {
        static Session *s = new Session;
        return *s;
    }
}

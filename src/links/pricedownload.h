#pragma once

#include <QString>

class Workspace;

// PriceNew: downloads the supplier's price archive from the address in the
// settings, offers to unpack it, and then reloads the price list and
// re-prices the order.
class PriceDownload final
{
public:
    // Sets the handler of PriceNew and gives the workspace its download
    // action (DownLoadURL) on the network download service.
    static void installActions(Workspace &workspace);

    // PriceNewExecute.
    static void priceNew(Workspace &workspace);

    // The local file of an address: its text after the last "/" or "\",
    // the whole address when it has neither.
    static QString targetFileName(const QString &url);

    // Unpacks the downloaded archive into the current folder. On Windows it
    // runs it as a program (the supplier's self-extracting archive) and
    // waits for its end, and unpacks it with libarchive when it cannot
    // start; elsewhere it is never run, only unpacked with libarchive
    // (which reads the zip, 7z or rar behind a self-extractor's program).
    // False, with the reason, when that failed.
    static bool extractArchive(const QString &fileName, QString *error);
};

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

    // Unpacks the downloaded archive into the current folder: runs it as a
    // program and waits for its end; when it cannot start (a Windows
    // self-extracting program on another system, or no program at all),
    // unpacks it with libarchive. False, with the reason, when neither
    // worked.
    static bool extractArchive(const QString &fileName, QString *error);
};

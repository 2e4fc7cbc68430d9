#include "xlsxfile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include <QXmlStreamReader>

#include <archive.h>
#include <archive_entry.h>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "atomicfile.h"

#include "ordixerror.h"
#include "outputfilename.h"
#include "textfile.h"
#include "xlsheet.h"

namespace
{
    // The longest text a cell holds.
    constexpr int MaxCellText = 32767;

    [[noreturn]] void fail(lxw_error error)
    {
        throw OrdixError(QStringLiteral("Ошибка записи книги MS Excel: ") + QString::fromUtf8(lxw_strerror(error)));
    }

    void check(lxw_error error)
    {
        if (error != LXW_NO_ERROR)
            fail(error);
    }

    lxw_color_t color(int colorIndex)
    {
        const unsigned rgb = XlPalette::rgb(colorIndex);
        // The library takes 0 for "no colour"; black has its own value.
        return rgb == 0 ? lxw_color_t(LXW_COLOR_BLACK) : lxw_color_t(rgb);
    }

    uint8_t lineStyle(XlLine line)
    {
        switch (line) {
        case XlLine::Continuous:
            return LXW_BORDER_THIN;
        case XlLine::Dotted:
            return LXW_BORDER_DOTTED;
        case XlLine::None:
            break;
        }
        return LXW_BORDER_NONE;
    }

    QString styleKey(const XlStyle &s)
    {
        const XlFont &f = s.font;
        QString key;
        key += f.name + QLatin1Char('\x1f') + QString::number(f.size) + QLatin1Char('\x1f');
        key += QString::number(int(f.bold) | int(f.italic) << 1 | int(f.underline) << 2 | int(f.strikethrough) << 3
                               | int(f.superscript) << 4 | int(f.subscript) << 5 | int(f.outline) << 6
                               | int(f.shadow) << 7);
        key += QLatin1Char('\x1f') + QString::number(f.colorIndex) + QLatin1Char('\x1f')
            + QString::number(s.interiorColorIndex);
        key += QLatin1Char('\x1f') + s.numberFormat + QLatin1Char('\x1f') + QString::number(int(s.align));
        for (const XlBorder *b : {&s.left, &s.top, &s.right, &s.bottom})
            key +=
                QLatin1Char('\x1f') + QString::number(int(b->line)) + QLatin1Char(',') + QString::number(b->colorIndex);
        return key;
    }

    class FormatCache final
    {
    public:
        explicit FormatCache(lxw_workbook *workbook)
            : m_workbook(workbook)
        { }

        lxw_format *get(const XlStyle &style)
        {
            const QString key = styleKey(style);
            if (lxw_format *known = m_formats.value(key))
                return known;
            lxw_format *format = workbook_add_format(m_workbook);
            if (!format)
                fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
            fill(format, style);
            m_formats.insert(key, format);
            return format;
        }

    private:
        static void fill(lxw_format *format, const XlStyle &s)
        {
            const XlFont &f = s.font;
            format_set_font_name(format, f.name.toUtf8().constData());
            format_set_font_size(format, f.size);
            if (f.name.endsWith(QLatin1String(" Cyr"))) {
                // The Cyrillic faces of the older systems.
                format_set_font_charset(format, 204);
                format_set_font_family(format, f.name.startsWith(QLatin1String("Times")) ? 1 : 2);
            }
            if (f.bold)
                format_set_bold(format);
            if (f.italic)
                format_set_italic(format);
            if (f.underline)
                format_set_underline(format, LXW_UNDERLINE_SINGLE);
            if (f.strikethrough)
                format_set_font_strikeout(format);
            if (f.superscript)
                format_set_font_script(format, LXW_FONT_SUPERSCRIPT);
            else if (f.subscript)
                format_set_font_script(format, LXW_FONT_SUBSCRIPT);
            if (f.outline)
                format_set_font_outline(format);
            if (f.shadow)
                format_set_font_shadow(format);
            if (f.colorIndex != XlSheet::ColorAutomatic)
                format_set_font_color(format, color(f.colorIndex));
            if (s.interiorColorIndex > 0) {
                format_set_pattern(format, LXW_PATTERN_SOLID);
                format_set_bg_color(format, color(s.interiorColorIndex));
            }
            if (s.numberFormat != QLatin1String("General"))
                format_set_num_format(format, s.numberFormat.toUtf8().constData());
            switch (s.align) {
            case XlAlign::Left:
                format_set_align(format, LXW_ALIGN_LEFT);
                break;
            case XlAlign::Center:
                format_set_align(format, LXW_ALIGN_CENTER);
                break;
            case XlAlign::Right:
                format_set_align(format, LXW_ALIGN_RIGHT);
                break;
            case XlAlign::General:
                break;
            }
            const auto border = [format](const XlBorder &b, void (*setStyle)(lxw_format *, uint8_t),
                                         void (*setColor)(lxw_format *, lxw_color_t)) {
                if (b.line == XlLine::None)
                    return;
                setStyle(format, lineStyle(b.line));
                if (b.colorIndex != XlSheet::ColorAutomatic)
                    setColor(format, color(b.colorIndex));
            };
            border(s.left, format_set_left, format_set_left_color);
            border(s.right, format_set_right, format_set_right_color);
            border(s.top, format_set_top, format_set_top_color);
            border(s.bottom, format_set_bottom, format_set_bottom_color);
        }

        lxw_workbook *m_workbook;
        QHash<QString, lxw_format *> m_formats;
    };

    // The workbook format reads "_xHHHH_" in a text as an escaped character:
    // such a run's underscore is itself escaped ("_x005F_"), so the cell
    // shows the text as typed.
    QByteArray cellText(const QString &text)
    {
        static const QRegularExpression escapeLike(QStringLiteral("_(x[0-9A-Fa-f]{4}_)"));
        QString shown = text.left(MaxCellText);
        shown.replace(escapeLike, QStringLiteral("_x005F_\\1"));
        return shown.toUtf8();
    }

    void writePageSetup(lxw_worksheet *worksheet, const XlPageSetup &setup)
    {
        if (setup.paperSize > 0)
            worksheet_set_paper(worksheet, uint8_t(setup.paperSize));
        if (setup.fitPagesWide > 0)
            worksheet_fit_to_pages(worksheet, uint16_t(setup.fitPagesWide), 0);
        if (setup.repeatRowsFirst > 0)
            check(worksheet_repeat_rows(worksheet, lxw_row_t(setup.repeatRowsFirst - 1),
                                        lxw_row_t(std::max(setup.repeatRowsLast, setup.repeatRowsFirst) - 1)));
        if (setup.hasPrintArea()) {
            const XlRange &area = setup.printArea;
            check(worksheet_print_area(worksheet, lxw_row_t(area.top - 1), lxw_col_t(area.left - 1),
                                       lxw_row_t(area.bottom - 1), lxw_col_t(area.right - 1)));
        }
    }

    void writeSheet(lxw_workbook *workbook, const XlSheet &sheet)
    {
        lxw_worksheet *worksheet = workbook_add_worksheet(workbook, sheet.name().toUtf8().constData());
        if (!worksheet)
            throw OrdixError(QStringLiteral("Ошибка записи книги MS Excel: недопустимое имя листа ") + sheet.name());
        FormatCache formats(workbook);
        lxw_format *sheetFormat = formats.get(sheet.sheetStyle());

        // Whole-sheet format and widths: every column carries the format.
        const double standardHeight = XlSheet::autoRowHeight(sheet.sheetStyle().font.size);
        worksheet_set_default_row(worksheet, standardHeight, LXW_FALSE);
        const int lastColumn = sheet.lastColumn();
        for (int column = 1; column <= lastColumn; ++column)
            check(worksheet_set_column(worksheet, lxw_col_t(column - 1), lxw_col_t(column - 1),
                                       sheet.columnWidth(column), sheetFormat));
        check(worksheet_set_column(worksheet, lxw_col_t(lastColumn), LXW_COL_MAX - 1, XlSheet::StandardWidth,
                                   sheetFormat));

        // Rows whose height differs from the standard one.
        for (int row = 1; row <= sheet.lastRow(); ++row) {
            const double height = sheet.rowHeight(row);
            if (!sheet.hasRowHeight(row) && height == standardHeight)
                continue;
            // The library leaves out a height equal to its own default of
            // 15 points, which would give the row the sheet's standard
            // height; one step above it is still written as 15.
            const double written = height == LXW_DEF_ROW_HEIGHT ? std::nextafter(height, 16.0) : height;
            check(worksheet_set_row(worksheet, lxw_row_t(row - 1), written, sheetFormat));
        }

        for (const XlRange &area : sheet.merges()) {
            check(worksheet_merge_range(worksheet, lxw_row_t(area.top - 1), lxw_col_t(area.left - 1),
                                        lxw_row_t(area.bottom - 1), lxw_col_t(area.right - 1), "",
                                        formats.get(sheet.styleAt(area.top, area.left))));
        }

        writePageSetup(worksheet, sheet.pageSetup());

        for (const auto &[key, cell] : sheet.cells()) {
            const lxw_row_t row = lxw_row_t(key.first - 1);
            const lxw_col_t column = lxw_col_t(key.second - 1);
            lxw_format *format = formats.get(cell.style);
            if (cell.value.isNull()) {
                check(worksheet_write_blank(worksheet, row, column, format));
            } else if (cell.value.typeId() == QMetaType::Double) {
                check(worksheet_write_number(worksheet, row, column, cell.value.toDouble(), format));
            } else {
                const QString text = cell.value.toString();
                if (text.isEmpty())
                    check(worksheet_write_blank(worksheet, row, column, format));
                else
                    check(worksheet_write_string(worksheet, row, column, cellText(text).constData(), format));
            }
        }
    }
}

namespace
{
    // Builds the workbook into the file `path`; the library keeps its parts
    // in temporary files in `tmpdir` until it zips them.
    void build(const XlSheet &sheet, const QString &path, const QString &tmpdir)
    {
        const QByteArray nativeTmpdir = QFile::encodeName(QDir::toNativeSeparators(tmpdir));
        lxw_workbook_options options = {};
        options.tmpdir = const_cast<char *>(nativeTmpdir.constData());
        lxw_workbook *workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
        if (!workbook)
            throw OrdixError(QStringLiteral("Ошибка записи книги MS Excel: не удалось создать книгу"));
        auto discard = qScopeGuard([workbook] { lxw_workbook_free(workbook); });
        writeSheet(workbook, sheet);
        discard.dismiss();
        check(workbook_close(workbook));
    }

    // Why writing to the folder fails now: the library does not check the
    // writes of its temporary files, so the cause is found by trying.
    QString writeFailureIn(const QString &folder)
    {
        AtomicFile probe(QDir(folder).filePath(QStringLiteral("ordix-probe")));
        const QByteArray block(1 << 20, 'x');
        bool written = probe.open();
        for (int i = 0; written && i < 16; ++i)
            written = probe.write(block);
        probe.cancel();
        return written ? QStringLiteral("временные файлы записаны не полностью") : probe.errorString();
    }

    // The library ignores failed writes of its temporary files and zips what
    // it finds in them: a part cut short by a full disk or a file-size limit
    // would go into the workbook unnoticed. Every part is read back and must
    // be a whole XML document.
    void verify(const QByteArray &bytes, const QString &tmpdir)
    {
        std::unique_ptr<archive, int (*)(archive *)> reader(archive_read_new(), archive_read_free);
        archive *a = reader.get();
        archive_read_support_format_zip(a);
        bool whole = archive_read_open_memory(a, bytes.constData(), size_t(bytes.size())) == ARCHIVE_OK;
        int parts = 0;
        archive_entry *entry = nullptr;
        while (whole) {
            const int status = archive_read_next_header(a, &entry);
            if (status == ARCHIVE_EOF)
                break;
            if (status != ARCHIVE_OK) {
                whole = false;
                break;
            }
            QByteArray part;
            char buffer[65536];
            la_ssize_t size = 0;
            while ((size = archive_read_data(a, buffer, sizeof buffer)) > 0)
                part.append(buffer, size);
            if (size < 0) {
                whole = false;
                break;
            }
            ++parts;
            QXmlStreamReader xml(part);
            while (!xml.atEnd())
                xml.readNext();
            whole = !xml.hasError();
        }
        if (!whole || parts == 0)
            throw OrdixError(QStringLiteral("Ошибка записи книги MS Excel: ") + writeFailureIn(tmpdir));
    }

    QByteArray readWorkbook(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw OrdixError(QStringLiteral("Ошибка записи книги MS Excel: ") + file.errorString());
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw OrdixError(QStringLiteral("Ошибка записи книги MS Excel: ") + file.errorString());
        return bytes;
    }
}

QByteArray XlsxFile::encode(const XlSheet &sheet)
{
    const QString tmpdir = QDir::tempPath();
    QByteArray bytes;
#ifdef Q_OS_LINUX
    // The workbook is zipped into memory and the library's temporary files
    // have no names: a run stopped at any moment leaves nothing behind.
    const int fd = memfd_create("ordix-workbook", MFD_CLOEXEC);
    if (fd >= 0) {
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
        build(sheet, path, tmpdir);
        bytes = readWorkbook(path);
        verify(bytes, tmpdir);
        return bytes;
    }
#endif
    QTemporaryDir folder;
    if (!folder.isValid())
        throw OrdixError(QStringLiteral("Не удалось создать временную папку: ") + folder.errorString());
    const QString path = folder.filePath(QStringLiteral("order.xlsx"));
    build(sheet, path, folder.path());
    bytes = readWorkbook(path);
    verify(bytes, folder.path());
    return bytes;
}

void XlsxFile::write(const XlSheet &sheet, const QString &path)
{
    checkOutputFileName(path);
    TextFile::writeBytes(path, encode(sheet));
}

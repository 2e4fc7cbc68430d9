#include "pricelayoutdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include "chooserheaderview.h"
#include "importcells.h"
#include "ordixerror.h"
#include "pricelayoutpreview.h"
#include "readablecolour.h"
#include "windowretirement.h"

namespace
{
    // The encodings and delimiters a supplier's text file comes in.
    const char *const Encodings[] = {"UTF-8", "windows-1251", "IBM866", "KOI8-R", "UTF-16LE", "UTF-16BE"};

    struct Delimiter
    {
        char character;
        const char16_t *title;
    };
    constexpr Delimiter Delimiters[] = {
        {';', u"; точка с запятой"},
        {',', u", запятая"},
        {'\t', u"TAB табуляция"},
        {'|', u"| черта"},
    };

    QString formatTitle(const QString &format)
    {
        if (format == QLatin1String("xlsx"))
            return QStringLiteral("книга Excel (xlsx)");
        if (format == QLatin1String("xls"))
            return QStringLiteral("книга Excel 97–2003 (xls)");
        if (format == QLatin1String("ods"))
            return QStringLiteral("таблица OpenDocument (ods)");
        if (format == QLatin1String("csv"))
            return QStringLiteral("текст с разделителями (csv)");
        return format;
    }

    // The decimal mark of the price column, from the preview's texts, as the
    // list's first guess decides it.
    QChar decimalMarkOf(const QList<SheetRow> &rows, int column)
    {
        if (column < 0)
            return QChar();
        QList<QString> texts;
        for (const SheetRow &row : rows) {
            if (column < row.cells.size() && row.cells.at(column).kind == SheetCell::Kind::Text)
                texts.append(row.cells.at(column).text);
        }
        return ImportCells::decideDecimalMark(texts);
    }

    // "Windows-1251" and "windows-1251" are one encoding.
    int indexOfEncoding(const QComboBox *box, const QByteArray &encoding)
    {
        for (int i = 0; i < box->count(); ++i) {
            if (box->itemData(i).toByteArray().compare(encoding, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
}

PriceLayoutDialog::PriceLayoutDialog(const PriceLayoutQuestion &question, QWidget *parent)
    : QDialog(parent)
    , m_question(question)
{
    setObjectName(QStringLiteral("PriceLayoutDialog"));
    setWindowTitle(QStringLiteral("Столбцы прайс-листа"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    buildControls();
    refreshAll();

    // Wide enough for the columns, within the screen.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int columns =
        m_header->length() + 2 * m_preview->frameWidth() + m_preview->verticalScrollBar()->sizeHint().width() + 24;
    const QSize hint = sizeHint();
    resize(qBound(hint.width(), columns, available.width() * 9 / 10),
           qBound(hint.height(), 640, available.height() * 9 / 10));
    m_name->setFocus();
    m_name->selectAll();
}

PriceLayoutDialog::~PriceLayoutDialog() = default;

bool PriceLayoutDialog::ask(PriceLayoutQuestion &question, QWidget *parent)
{
    const RetiringWindow<PriceLayoutDialog> dialog(new PriceLayoutDialog(question, parent));
    if (dialog->exec() != QDialog::Accepted)
        return false;
    question = dialog->question();
    return true;
}

void PriceLayoutDialog::buildControls()
{
    m_file = new QLabel(this);
    m_file->setObjectName(QStringLiteral("LayoutFile"));
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("LayoutName"));
    m_name->setPlaceholderText(QStringLiteral("название поставщика"));
    m_name->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    connect(m_name, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_question.layout.name = text.trimmed();
        refreshState();
    });

    m_sheet = new QComboBox(this);
    m_sheet->setObjectName(QStringLiteral("LayoutSheet"));
    m_sheet->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_sheetLabel = new QLabel(QStringLiteral("&Лист:"), this);
    m_sheetLabel->setBuddy(m_sheet);

    m_encoding = new QComboBox(this);
    m_encoding->setObjectName(QStringLiteral("LayoutEncoding"));
    for (const char *name : Encodings)
        m_encoding->addItem(QString::fromLatin1(name), QByteArray(name));
    m_encodingLabel = new QLabel(QStringLiteral("&Кодировка:"), this);
    m_encodingLabel->setBuddy(m_encoding);
    m_delimiter = new QComboBox(this);
    m_delimiter->setObjectName(QStringLiteral("LayoutDelimiter"));
    for (const Delimiter &delimiter : Delimiters)
        m_delimiter->addItem(QString::fromUtf16(delimiter.title), int(delimiter.character));
    m_delimiterLabel = new QLabel(QStringLiteral("&Разделитель:"), this);
    m_delimiterLabel->setBuddy(m_delimiter);
    for (QComboBox *box : {m_sheet, m_encoding, m_delimiter}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            if (!m_updating)
                reloadFromChoosers();
        });
    }

    m_headerRow = new QSpinBox(this);
    m_headerRow->setObjectName(QStringLiteral("LayoutHeaderRow"));
    m_headerRow->setSpecialValueText(QStringLiteral("нет"));
    m_headerRow->setToolTip(QStringLiteral("Номер строки листа с названиями столбцов; «нет» — у списка нет заголовка"));
    m_headerRow->setMinimumWidth(fontMetrics().averageCharWidth() * 10);
    connect(m_headerRow, &QSpinBox::valueChanged, this, [this](int row) {
        if (!m_updating)
            chooseHeaderRow(row);
    });

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow(QStringLiteral("Файл:"), m_file);
    auto *nameLabel = new QLabel(QStringLiteral("&Поставщик:"), this);
    nameLabel->setBuddy(m_name);
    form->addRow(nameLabel, m_name);
    form->addRow(m_sheetLabel, m_sheet);
    auto *textRow = new QHBoxLayout;
    textRow->addWidget(m_encoding);
    textRow->addSpacing(12);
    textRow->addWidget(m_delimiterLabel);
    textRow->addWidget(m_delimiter);
    textRow->addStretch();
    form->addRow(m_encodingLabel, textRow);
    auto *headerLabel = new QLabel(QStringLiteral("&Строка заголовка:"), this);
    headerLabel->setBuddy(m_headerRow);
    form->addRow(headerLabel, m_headerRow);
    form->setRowVisible(m_sheet, !isText());
    form->setRowVisible(textRow, isText());

    // What changed since the layout was saved, on a marked background.
    m_changes = new QLabel(this);
    m_changes->setObjectName(QStringLiteral("LayoutChanges"));
    m_changes->setWordWrap(true);
    m_changes->setAutoFillBackground(true);
    m_changes->setFrameShape(QFrame::StyledPanel);
    m_changes->setMargin(6);
    m_changes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette marked = m_changes->palette();
    const QColor yellow(0xFF, 0xF1, 0xB8);
    marked.setColor(QPalette::Window, yellow);
    marked.setColor(QPalette::WindowText, ReadableColour::on(QColor(0x40, 0x30, 0x00), yellow));
    m_changes->setPalette(marked);

    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("LayoutHint"));
    m_hint->setWordWrap(true);

    m_preview = new QTableView(this);
    m_preview->setObjectName(QStringLiteral("LayoutPreview"));
    m_model = new PriceLayoutPreview(this);
    m_model->setGreyColor(m_preview->palette().color(QPalette::Disabled, QPalette::Text));
    QFont bold = m_preview->font();
    bold.setBold(true);
    m_model->setBoldFont(bold);
    m_header = new ChooserHeaderView(m_preview);
    m_header->setObjectName(QStringLiteral("LayoutFieldRow"));
    m_preview->setHorizontalHeader(m_header);
    m_preview->setModel(m_model);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setStretchLastSection(false);
    m_header->setMinimumSectionSize(fontMetrics().averageCharWidth() * 4);
    m_preview->verticalHeader()->hide();
    m_preview->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_preview->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_preview->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setSelectionMode(QAbstractItemView::SingleSelection);
    m_preview->setTabKeyNavigation(false);
    m_preview->setWordWrap(false);
    m_preview->setCornerButtonEnabled(false);
    m_preview->setMinimumHeight(m_preview->verticalHeader()->defaultSectionSize() * 6);

    m_missing = new QLabel(this);
    m_missing->setObjectName(QStringLiteral("LayoutMissing"));
    m_missing->setWordWrap(true);
    QPalette warning = m_missing->palette();
    warning.setColor(QPalette::WindowText,
                     ReadableColour::on(QColor(0xB0, 0x00, 0x00), warning.color(QPalette::Window)));
    m_missing->setPalette(warning);

    m_remember = new QCheckBox(QStringLiteral("&Запомнить столбцы этого поставщика"), this);
    m_remember->setObjectName(QStringLiteral("LayoutRemember"));
    m_remember->setChecked(m_question.remember);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = m_buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("Загрузить"));
    m_ok->setDefault(true);
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &PriceLayoutDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &PriceLayoutDialog::reject);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_remember);
    bottom->addStretch();
    bottom->addWidget(m_buttons);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_changes);
    layout->addWidget(m_hint);
    layout->addWidget(m_preview, 1);
    layout->addWidget(m_missing);
    layout->addLayout(bottom);
}

bool PriceLayoutDialog::isText() const
{
    return m_question.format == QLatin1String("csv");
}

int PriceLayoutDialog::previewColumns() const
{
    int columns = qMax(SupplierList::columnCountOf(m_question.rows), m_question.layout.columnCount);
    for (int column : m_question.layout.columns)
        columns = qMax(columns, column + 1);
    return columns;
}

void PriceLayoutDialog::refreshAll()
{
    m_updating = true;
    m_baseColumn = -1;
    const ImportLayout &layout = m_question.layout;
    m_file->setText(
        QStringLiteral("%1 — %2").arg(QFileInfo(m_question.path).fileName(), formatTitle(m_question.format)));
    m_file->setToolTip(QDir::toNativeSeparators(m_question.path));
    if (m_name->text().trimmed() != layout.name)
        m_name->setText(layout.name);

    const bool canReload = bool(m_question.reload);
    m_sheet->clear();
    for (const SheetInfo &sheet : std::as_const(m_question.sheets))
        m_sheet->addItem(sheet.hidden ? sheet.name + QStringLiteral(" (скрыт)") : sheet.name);
    m_sheet->setCurrentIndex(m_question.sheet);
    int encoding = indexOfEncoding(m_encoding, layout.encoding);
    if (encoding < 0 && !layout.encoding.isEmpty()) {
        m_encoding->addItem(QString::fromLatin1(layout.encoding), layout.encoding);
        encoding = m_encoding->count() - 1;
    }
    m_encoding->setCurrentIndex(encoding);
    int delimiter = m_delimiter->findData(int(layout.delimiter));
    if (delimiter < 0 && layout.delimiter != 0) {
        m_delimiter->addItem(QString(QLatin1Char(layout.delimiter)), int(layout.delimiter));
        delimiter = m_delimiter->count() - 1;
    }
    m_delimiter->setCurrentIndex(delimiter);
    for (QComboBox *box : {m_sheet, m_encoding, m_delimiter})
        box->setEnabled(canReload);

    int lastRow = 0;
    for (const SheetRow &row : std::as_const(m_question.rows))
        lastRow = qMax(lastRow, int(row.index) + 1);
    m_headerRow->setRange(0, qMax(lastRow, layout.headerRow));
    m_headerRow->setValue(layout.headerRow);

    m_model->setRows(m_question.rows, previewColumns(), layout);
    rebuildChoosers();
    fitColumns();
    m_updating = false;
    refreshLayout();
}

void PriceLayoutDialog::rebuildChoosers()
{
    const int columns = m_model->sheetColumnCount();
    if (m_choosers.size() == columns)
        return;
    QList<QWidget *> widgets{nullptr}; // the row numbers' column has none
    m_choosers.clear();
    for (int column = 0; column < columns; ++column) {
        auto *box = new QComboBox;
        const QString letter = ImportLayout::columnLetter(column);
        box->setObjectName(QStringLiteral("LayoutField_") + letter);
        box->setAccessibleName(QStringLiteral("Столбец %1").arg(letter));
        box->addItem(ImportFields::title(ImportField::None), int(ImportField::None));
        for (int field = 0; field < ImportFields::count; ++field)
            box->addItem(ImportFields::title(ImportField(field)), field);
        box->installEventFilter(this);
        connect(box, &QComboBox::currentIndexChanged, this, [this, column](int index) {
            if (!m_updating)
                chooseField(column, index);
        });
        m_choosers.append(box);
        widgets.append(box);
    }
    m_header->setSectionWidgets(widgets);
    updateTabOrder();
}

void PriceLayoutDialog::updateTabOrder()
{
    QList<QWidget *> chain{m_name, m_sheet, m_encoding, m_delimiter, m_headerRow};
    for (QComboBox *box : std::as_const(m_choosers))
        chain.append(box);
    chain << m_preview << m_remember << m_ok << m_buttons->button(QDialogButtonBox::Cancel);
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}

void PriceLayoutDialog::fitColumns()
{
    // Each column as wide as its texts in the preview (within reason), and
    // never narrower than its chooser.
    const QFontMetrics plain(m_preview->font());
    QFont boldFont = m_preview->font();
    boldFont.setBold(true);
    const QFontMetrics bold(boldFont);
    const int padding = 2 * m_preview->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_preview) + 10;
    const int widest = plain.averageCharWidth() * 40;
    const int chooser = m_choosers.isEmpty() ? 0 : m_choosers.first()->sizeHint().width() + 2;
    int lastRow = 1;
    for (const SheetRow &row : std::as_const(m_question.rows))
        lastRow = qMax(lastRow, int(row.index) + 1);
    m_header->resizeSection(0,
                            qMax(plain.horizontalAdvance(QString::number(lastRow)),
                                 plain.horizontalAdvance(m_model->headerData(0, Qt::Horizontal).toString()))
                                + padding + 6);
    // A title, a group or a total is one long text that may spill over the
    // columns: the header and the items set the widths.
    bool anyItem = false;
    for (int row = 0; row < m_model->rowCount() && !anyItem; ++row)
        anyItem = m_model->rowClass(row) == RowClass::Item;
    for (int column = 0; column < m_model->sheetColumnCount(); ++column) {
        int width = 0;
        for (int row = 0; row < m_model->rowCount() && width < widest; ++row) {
            const RowClass kind = m_model->rowClass(row);
            if (anyItem && kind != RowClass::Item && kind != RowClass::Header)
                continue;
            const QFontMetrics &metrics = kind == RowClass::Header ? bold : plain;
            width = qMax(width, metrics.horizontalAdvance(m_model->cellText(row, column)) + padding);
        }
        m_header->resizeSection(column + 1, qMax(qMin(width, widest), chooser));
    }
}

void PriceLayoutDialog::refreshLayout()
{
    const ImportLayout &layout = m_question.layout;
    m_updating = true;
    for (int column = 0; column < m_choosers.size(); ++column) {
        QComboBox *box = m_choosers.at(column);
        box->setCurrentIndex(box->findData(int(layout.fieldOfColumn(column))));
        box->setToolTip(m_question.reasons.value(column));
    }
    m_updating = false;
    m_model->setLayout(layout);

    m_changes->setVisible(!m_question.changes.isEmpty());
    if (!m_question.changes.isEmpty()) {
        m_changes->setText(QStringLiteral("Заголовок изменился с прошлого раза — проверьте столбцы:\n")
                           + m_question.changes.join(QLatin1Char('\n')));
    }
    QString hint;
    if (m_question.fromSaved)
        hint = QStringLiteral("Столбцы взяты из сохранённого описания «%1».").arg(layout.name);
    else if (m_question.certain)
        hint = QStringLiteral("Столбцы найдены по заголовку.");
    else
        hint = QStringLiteral("Столбцы угаданы по содержимому — проверьте их.");
    m_hint->setText(hint
                    + QStringLiteral(" Над каждым столбцом выберите, что в нём; серые строки не загрузятся "
                                     "(причина — в подсказке строки)."));
    refreshState();
}

void PriceLayoutDialog::refreshState()
{
    QStringList missing;
    if (!m_question.layout.isComplete())
        missing << QStringLiteral("Не хватает: %1").arg(m_question.layout.missingFields());
    if (m_question.layout.name.isEmpty())
        missing << QStringLiteral("Укажите поставщика");
    m_missing->setText(missing.join(QStringLiteral(". ")));
    m_missing->setVisible(!missing.isEmpty());
    m_ok->setEnabled(missing.isEmpty());
}

void PriceLayoutDialog::chooseField(int column, int index)
{
    if (m_baseColumn == column) {
        m_question.layout = m_baseLayout;
        m_question.reasons = m_baseReasons;
    }
    ImportLayout &layout = m_question.layout;
    const ImportField field = ImportField(m_choosers.at(column)->itemData(index).toInt());
    const ImportField old = layout.fieldOfColumn(column);
    if (field == old) {
        refreshLayout();
        return;
    }
    while (m_question.reasons.size() <= column)
        m_question.reasons.append(QString());
    if (old != ImportField::None)
        layout.setColumn(old, -1);
    if (field != ImportField::None) {
        // A field feeds from one column: the one it had gives it up.
        const int previous = layout.column(field);
        if (previous >= 0 && previous < m_question.reasons.size())
            m_question.reasons[previous].clear();
        layout.setColumn(field, column);
    }
    m_question.reasons[column] = field == ImportField::None ? QStringLiteral("не загружать: выбрано вручную")
                                                            : QStringLiteral("выбрано вручную");
    layout.columnCount = qMax(layout.columnCount, column + 1);
    if (field == ImportField::Price || old == ImportField::Price)
        layout.decimalMark = decimalMarkOf(m_question.rows, layout.column(ImportField::Price));
    refreshLayout();
}

void PriceLayoutDialog::chooseHeaderRow(int row)
{
    const ImportLayout old = m_question.layout;
    QStringList why;
    bool certain = false;
    ImportLayout guessed = LayoutGuess::guess(m_question.rows, &why, &certain, row);
    guessed.name = old.name;
    guessed.fileFormat = old.fileFormat;
    guessed.sheet = old.sheet;
    guessed.encoding = old.encoding;
    guessed.delimiter = old.delimiter;
    // A row the preview holds nothing in is still the header the buyer named:
    // the rows above it are no items.
    guessed.headerRow = row;
    guessed.decimalMark = decimalMarkOf(m_question.rows, guessed.column(ImportField::Price));
    m_baseColumn = -1;
    m_question.layout = guessed;
    m_question.reasons = why;
    m_question.certain = certain;
    m_question.fromSaved = false;
    m_question.changes.clear();
    if (previewColumns() != m_model->sheetColumnCount()) {
        m_model->setRows(m_question.rows, previewColumns(), guessed);
        rebuildChoosers();
        fitColumns();
    }
    refreshLayout();
}

void PriceLayoutDialog::reloadFromChoosers()
{
    const int sheet = isText() ? m_question.sheet : qMax(0, m_sheet->currentIndex());
    QByteArray encoding = m_question.layout.encoding;
    char delimiter = m_question.layout.delimiter;
    if (isText()) {
        if (m_encoding->currentIndex() >= 0)
            encoding = m_encoding->currentData().toByteArray();
        if (m_delimiter->currentIndex() >= 0)
            delimiter = char(m_delimiter->currentData().toInt());
    }
    reload(sheet, encoding, delimiter);
}

void PriceLayoutDialog::reload(int sheet, const QByteArray &encoding, char delimiter)
{
    if (!m_question.reload)
        return;
    const PriceLayoutQuestion before = m_question;
    m_question.sheet = sheet;
    m_question.layout.encoding = encoding;
    m_question.layout.delimiter = delimiter;
    QString error;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        m_question.reload(m_question);
    } catch (const std::exception &e) {
        const auto *ordix = dynamic_cast<const OrdixError *>(&e);
        error = ordix ? ordix->message() : QString::fromUtf8(e.what());
        // Back to the rows the dialog showed, and the list with them.
        m_question = before;
        try {
            PriceLayoutQuestion again = before;
            again.reload(again);
        } catch (const std::exception &) {
        }
    }
    QGuiApplication::restoreOverrideCursor();
    refreshAll();
    if (!error.isEmpty()) {
        const RetiringWindow<QMessageBox> box(
            new QMessageBox(QMessageBox::Warning, windowTitle(), error, QMessageBox::Ok, this));
        box->exec();
    }
}

void PriceLayoutDialog::scrollToSection(int section)
{
    QScrollBar *bar = m_preview->horizontalScrollBar();
    const int left = m_header->sectionPosition(section);
    const int width = m_header->sectionSize(section);
    const int visible = m_preview->viewport()->width();
    if (left < bar->value())
        bar->setValue(left);
    else if (left + width > bar->value() + visible)
        bar->setValue(qMin(left, left + width - visible));
}

bool PriceLayoutDialog::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QComboBox *>(watched);
    const qsizetype column = box ? m_choosers.indexOf(box) : -1;
    if (column >= 0) {
        // A chooser reached by Tab comes into view; the wheel over one the
        // buyer did not pick scrolls nothing and changes nothing.
        if (event->type() == QEvent::FocusIn) {
            scrollToSection(int(column) + 1);
            if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
                m_baseColumn = int(column);
                m_baseLayout = m_question.layout;
                m_baseReasons = m_question.reasons;
            }
        } else if (event->type() == QEvent::FocusOut
                   && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
            m_baseColumn = -1;
        } else if (event->type() == QEvent::Wheel && !box->hasFocus())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void PriceLayoutDialog::accept()
{
    if (!m_ok->isEnabled())
        return;
    m_question.layout.name = m_name->text().trimmed();
    m_question.remember = m_remember->isChecked();
    QDialog::accept();
}

#include "filter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "elidingcombobox.h"
#include "filterbuilder.h"
#include "pricefilter.h"
#include "workspace.h"

namespace
{
    template<typename T>
    T *named(T *object, const QString &name)
    {
        object->setObjectName(name);
        return object;
    }

    const char *const StateMarkProperty = "stateMark";

    // The first child of `parent` whose name begins with `prefix`.
    template<typename T>
    T *childByPrefix(QWidget *parent, const QString &prefix)
    {
        const QList<T *> children = parent->findChildren<T *>();
        for (T *child : children) {
            if (child->objectName().startsWith(prefix))
                return child;
        }
        return nullptr;
    }
}

TFilterDialog::TFilterDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterDialog"));
    setWindowTitle(QStringLiteral("Фильтр..."));
    setModal(true);

    m_pages = named(new QTabWidget(this), QStringLiteral("PageControl1"));
    createSimplePage();
    createCompoundPage();
    createParamsPage();
    createAvailabilityPage();

    m_simple = named(new QCheckBox(QStringLiteral("Простой"), this), QStringLiteral("CheckSCF"));
    auto *apply = named(new QPushButton(QStringLiteral("Применить"), this), QStringLiteral("ButtonApply"));
    auto *cancel = named(new QPushButton(QStringLiteral("Отмена"), this), QStringLiteral("ButtonCancel"));
    auto *clear = named(new QPushButton(QStringLiteral("Очистить"), this), QStringLiteral("ButtonClear"));
    apply->setDefault(true);
    connect(apply, &QPushButton::clicked, this, [this] { done(Ok); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(Cancel); });
    connect(clear, &QPushButton::clicked, this, [this] { done(Clear); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_simple);
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    buttons->addWidget(clear);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);

    // Created in simple mode with every availability state kept.
    m_simple->setChecked(true);
    m_pages->setTabVisible(m_pages->indexOf(m_compoundPage), false);
    m_pages->setCurrentWidget(m_simplePage);
    m_availAll->setChecked(true);
    availAllChanged(true);
    for (int r = 1; r < FilterDialogState::RowCount; ++r)
        applyRowState(r);
    connect(m_simple, &QCheckBox::toggled, this, &TFilterDialog::simpleToggled);
    setFixedSize(SimpleSize);
}

TFilterDialog::~TFilterDialog() = default;

// --- pages -------------------------------------------------------------------

void TFilterDialog::createSimplePage()
{
    m_simplePage = named(new QWidget, QStringLiteral("SimpleFilter"));
    m_filterString = named(new QLineEdit(m_simplePage), QStringLiteral("FilterString"));
    m_fieldsCombo = named(new ElidingComboBox(m_simplePage), QStringLiteral("FieldsCombo"));
    auto *extract =
        named(new QPushButton(QStringLiteral("Извлечь значение"), m_simplePage), QStringLiteral("ButtonExtract"));
    connect(extract, &QPushButton::clicked, this, [this] { extractValue(m_fieldsCombo, m_filterString); });

    auto *layout = new QGridLayout(m_simplePage);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(new QLabel(QStringLiteral("Строка фильтра:"), m_simplePage), 0, 0, 1, 2);
    layout->addWidget(m_filterString, 1, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Поле:"), m_simplePage), 2, 0, 1, 2);
    layout->addWidget(m_fieldsCombo, 3, 0);
    layout->addWidget(extract, 3, 1);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(4, 1);
    m_pages->addTab(m_simplePage, QStringLiteral("Фильтр"));
}

void TFilterDialog::createCompoundPage()
{
    m_compoundPage = named(new QWidget, QStringLiteral("CompoundFilter"));
    auto *layout = new QVBoxLayout(m_compoundPage);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(1);

    // Header and rows share column widths.
    const int conditionWidth = 72;
    const int fieldsWidth = 130;
    const int buttonWidth = 26;
    auto *header = new QHBoxLayout;
    header->setSpacing(3);
    auto *conditionTitle = new QLabel(QStringLiteral("Условие"), m_compoundPage);
    conditionTitle->setFixedWidth(conditionWidth);
    auto *fieldTitle = new QLabel(QStringLiteral("Поле"), m_compoundPage);
    fieldTitle->setFixedWidth(fieldsWidth);
    header->addWidget(conditionTitle);
    header->addWidget(fieldTitle);
    header->addWidget(new QLabel(QStringLiteral("Строка фильтра"), m_compoundPage), 1);
    header->addSpacing(buttonWidth);
    layout->addLayout(header);

    const QStringList conditions = {QStringLiteral("- нет -"), QStringLiteral("И"), QStringLiteral("ИЛИ"),
                                    QStringLiteral("И НЕ"), QStringLiteral("ИЛИ НЕ")};
    for (int r = 0; r < FilterDialogState::RowCount; ++r) {
        const QString n = QString::number(r + 1);
        RowControls &row = m_rows[r];
        row.panel = named(new QWidget(m_compoundPage), QStringLiteral("PanelRow") + n);
        auto *rowLayout = new QHBoxLayout(row.panel);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(3);
        if (r == 0) {
            rowLayout->addSpacing(conditionWidth);
        } else {
            row.condition = named(new QComboBox(row.panel), QStringLiteral("ConditionCombo") + n);
            row.condition->addItems(conditions);
            row.condition->setFixedWidth(conditionWidth);
            rowLayout->addWidget(row.condition);
            connect(row.condition, &QComboBox::currentIndexChanged, this, [this, r] { applyRowState(r); });
        }
        row.fields = named(new ElidingComboBox(row.panel), QStringLiteral("FieldsCombos") + n);
        row.fields->setFixedWidth(fieldsWidth);
        row.text = named(new QLineEdit(row.panel), QStringLiteral("FilterString") + n);
        row.extract = named(new QPushButton(QStringLiteral("<<"), row.panel), QStringLiteral("ButtonExtract") + n);
        row.extract->setToolTip(QStringLiteral("Извлечь значение"));
        row.extract->setFixedWidth(buttonWidth);
        rowLayout->addWidget(row.fields);
        rowLayout->addWidget(row.text, 1);
        rowLayout->addWidget(row.extract);
        row.panel->setProperty(StateMarkProperty, FilterDialogState::ActiveMark);
        // The button finds the list and the edit of its own row.
        connect(row.extract, &QPushButton::clicked, this, [this, panel = row.panel] {
            extractValue(childByPrefix<QComboBox>(panel, QStringLiteral("FieldsCombo")),
                         childByPrefix<QLineEdit>(panel, QStringLiteral("FilterString")));
        });
        layout->addWidget(row.panel);
    }
    layout->addStretch(1);
    m_pages->addTab(m_compoundPage, QStringLiteral("Фильтр"));
}

void TFilterDialog::createParamsPage()
{
    auto *page = named(new QWidget, QStringLiteral("Params"));
    m_condition =
        named(new QGroupBox(QStringLiteral("Выбрать записи, которые содержат  "), page), QStringLiteral("Condition"));
    m_conditionButtons = new QButtonGroup(m_condition);
    auto *conditionLayout = new QVBoxLayout(m_condition);
    conditionLayout->setContentsMargins(6, 2, 6, 2);
    conditionLayout->setSpacing(0);
    const QStringList items = {QStringLiteral("все набранные слова в любом порядке"),
                               QStringLiteral("любое из набранных слов"),
                               QStringLiteral("точное совпадение набранной фразы")};
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items.at(i), m_condition);
        m_conditionButtons->addButton(button, i);
        conditionLayout->addWidget(button);
    }
    m_conditionButtons->button(0)->setChecked(true);

    m_defSepar = named(new QComboBox(page), QStringLiteral("DefSepar"));
    m_defSepar->addItems(
        {QStringLiteral("пробел \" \""), QStringLiteral("точка с запятой \";\""), QStringLiteral("запятая \",\"")});
    m_defSepar->setCurrentIndex(0);

    auto *separator = new QHBoxLayout;
    separator->addWidget(new QLabel(QStringLiteral("Разделитель слов:"), page));
    separator->addWidget(m_defSepar, 1);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(m_condition);
    layout->addLayout(separator);
    layout->addStretch(1);
    m_pages->addTab(page, QStringLiteral("Параметры"));
}

void TFilterDialog::createAvailabilityPage()
{
    auto *page = named(new QWidget, QStringLiteral("Availab"));
    m_availAll = named(new QCheckBox(QStringLiteral("Все товары"), page), QStringLiteral("AvailAll"));
    m_availNot = named(new QCheckBox(QStringLiteral("Нет на складе"), page), QStringLiteral("AvailNot"));
    m_availYes = named(new QCheckBox(QStringLiteral("Есть на складе"), page), QStringLiteral("AvailYes"));
    m_availDeliv = named(new QCheckBox(QStringLiteral("Ожидаемые к поставке"), page), QStringLiteral("AvailDeliv"));
    m_availNew = named(new QCheckBox(QStringLiteral("Показывать только новинки"), page), QStringLiteral("AvailNew"));
    connect(m_availAll, &QCheckBox::toggled, this, &TFilterDialog::availAllChanged);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(2);
    for (QCheckBox *box : {m_availAll, m_availNot, m_availYes, m_availDeliv, m_availNew})
        layout->addWidget(box);
    layout->addStretch(1);
    m_pages->addTab(page, QStringLiteral("Наличие"));
}

// --- wiring ------------------------------------------------------------------

void TFilterDialog::attach(Workspace &workspace, const PriceGridAccess &priceGrid)
{
    attach(workspace, priceGrid.selectedColumn);
    PriceFilter *filter = PriceFilter::of(workspace);
    filter->setSelectedField(priceGrid.selectedFieldName);
    filter->setSideBarRefresh(priceGrid.layoutSideBar);
}

void TFilterDialog::attach(Workspace &workspace, std::function<int()> selectedColumn)
{
    m_workspace = &workspace;
    PriceFilter *filter = PriceFilter::of(workspace);
    if (!filter)
        filter = PriceFilter::install(workspace);
    filter->setDialogRunner([this, selectedColumn = std::move(selectedColumn)] {
        return runFilterDialog(selectedColumn ? selectedColumn() : -1);
    });
}

FilterBuilder *TFilterDialog::builder() const
{
    if (!m_workspace)
        return nullptr;
    PriceFilter *filter = PriceFilter::of(*m_workspace);
    return filter ? &filter->builder() : nullptr;
}

// --- running -----------------------------------------------------------------

bool TFilterDialog::runFilterDialog(int selectedColumn)
{
    prepare(selectedColumn);
    const QString remembered = m_filterString->text();
    if (FilterBuilder *b = builder())
        b->state().rememberedText = remembered;
    const int result = exec();
    if (result == Cancel)
        m_filterString->setText(remembered);
    storeState();
    return result != Clear;
}

void TFilterDialog::prepare(int selectedColumn)
{
    FilterBuilder *b = builder();
    if (!b)
        return;
    const FilterDialogState &state = b->state();
    if (!state.prepared)
        b->prepareFields(m_workspace->grid(Workspace::Grid::Price), m_workspace->price(), selectedColumn);
    if (m_fieldsCombo->count() != state.fields.size()) {
        QStringList titles;
        for (const FilterDialogState::FieldItem &item : state.fields)
            titles.append(item.title);
        m_fieldsCombo->clear();
        m_fieldsCombo->addItems(titles);
        m_fieldsCombo->fitPopupToEntries();
        for (RowControls &row : m_rows) {
            row.fields->clear();
            row.fields->addItems(titles);
            row.fields->fitPopupToEntries();
        }
    }
    loadState();
}

void TFilterDialog::loadState()
{
    FilterBuilder *b = builder();
    if (!b)
        return;
    const FilterDialogState &state = b->state();
    // The mode first: switching it copies between the two filter pages.
    if (m_simple->isChecked() != state.simple)
        m_simple->setChecked(state.simple);
    m_fieldsCombo->setCurrentIndex(state.fieldIndex);
    m_filterString->setText(state.filterString);
    for (int r = 0; r < FilterDialogState::RowCount; ++r) {
        RowControls &row = m_rows[r];
        row.fields->setCurrentIndex(state.rows[r].fieldIndex);
        row.text->setText(state.rows[r].text);
        if (row.condition) {
            row.condition->setCurrentIndex(state.rows[r].connective);
            applyRowState(r);
        }
    }
    if (QAbstractButton *button = m_conditionButtons->button(state.wordMode))
        button->setChecked(true);
    m_defSepar->setCurrentIndex(state.separatorIndex);
    m_availAll->setChecked(state.availAll);
    m_availNot->setChecked(state.availNot);
    m_availYes->setChecked(state.availYes);
    m_availDeliv->setChecked(state.availDeliv);
    m_availNew->setChecked(state.availNew);
    availAllChanged(state.availAll);
}

void TFilterDialog::storeState()
{
    FilterBuilder *b = builder();
    if (!b)
        return;
    FilterDialogState &state = b->state();
    state.simple = m_simple->isChecked();
    state.fieldIndex = m_fieldsCombo->currentIndex();
    state.filterString = m_filterString->text();
    for (int r = 0; r < FilterDialogState::RowCount; ++r) {
        const RowControls &row = m_rows[r];
        state.rows[r].fieldIndex = row.fields->currentIndex();
        state.rows[r].text = row.text->text();
        state.rows[r].connective = row.condition ? row.condition->currentIndex() : FilterDialogState::None;
    }
    state.wordMode = qMax(0, m_conditionButtons->checkedId());
    state.separatorIndex = qMax(0, m_defSepar->currentIndex());
    state.availAll = m_availAll->isChecked();
    state.availNot = m_availNot->isChecked();
    state.availYes = m_availYes->isChecked();
    state.availDeliv = m_availDeliv->isChecked();
    state.availNew = m_availNew->isChecked();
}

void TFilterDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // Centred on the main window the first time; later it opens where it
    // was (moving it again would place it by the frame the window manager
    // has added since, a title bar lower each time).
    if (parentWidget() && !m_placed) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
        m_placed = true;
    }
    QWidget *page = m_simple->isChecked() ? m_simplePage : m_compoundPage;
    m_pages->setCurrentWidget(page);
    (m_simple->isChecked() ? m_filterString : m_rows[0].text)->setFocus();
}

// --- rules of the controls ---------------------------------------------------

int TFilterDialog::rowMark(int row) const
{
    if (row < 1 || row > FilterDialogState::RowCount)
        return FilterDialogState::InactiveMark;
    return m_rows[row - 1].panel->property(StateMarkProperty).toInt();
}

void TFilterDialog::applyRowState(int row)
{
    RowControls &controls = m_rows[row];
    if (!controls.condition)
        return;
    const bool active = controls.condition->currentIndex() != FilterDialogState::None;
    controls.panel->setProperty(StateMarkProperty,
                                active ? FilterDialogState::ActiveMark : FilterDialogState::InactiveMark);
    // Inactive rows are painted in the colour of an inactive window border,
    // active ones in the window colour.
    const QColor colour = active ? palette().color(QPalette::Active, QPalette::Base)
                                 : palette().color(QPalette::Inactive, QPalette::Window);
    for (QWidget *widget : {static_cast<QWidget *>(controls.fields), static_cast<QWidget *>(controls.text)}) {
        QPalette p = widget->palette();
        p.setColor(QPalette::Base, colour);
        p.setColor(QPalette::Button, colour);
        widget->setPalette(p);
        widget->setEnabled(active);
    }
    controls.extract->setEnabled(active);
}

void TFilterDialog::availAllChanged(bool checked)
{
    if (checked) {
        m_availNot->setChecked(true);
        m_availYes->setChecked(true);
        m_availDeliv->setChecked(true);
        m_availNew->setChecked(false);
    }
    for (QCheckBox *box : {m_availNot, m_availYes, m_availDeliv, m_availNew})
        box->setEnabled(!checked);
}

void TFilterDialog::simpleToggled(bool checked)
{
    if (checked) {
        move(pos() + ModeShift);
        setFixedSize(SimpleSize);
        m_fieldsCombo->setCurrentIndex(m_rows[0].fields->currentIndex());
        m_filterString->setText(m_rows[0].text->text());
    } else {
        move(pos() - ModeShift);
        setFixedSize(CompoundSize);
        m_rows[0].fields->setCurrentIndex(m_fieldsCombo->currentIndex());
        m_rows[0].text->setText(m_filterString->text());
    }
    showModePage(checked);
}

void TFilterDialog::showModePage(bool simple)
{
    QWidget *oldPage = simple ? m_compoundPage : m_simplePage;
    QWidget *newPage = simple ? m_simplePage : m_compoundPage;
    const int oldIndex = m_pages->indexOf(oldPage);
    const int newIndex = m_pages->indexOf(newPage);
    m_pages->setTabVisible(newIndex, true);
    if (m_pages->currentIndex() == oldIndex)
        m_pages->setCurrentIndex(newIndex);
    m_pages->setTabVisible(oldIndex, false);
    if (m_pages->currentIndex() == newIndex)
        (simple ? m_filterString : m_rows[0].text)->setFocus();
}

void TFilterDialog::extractValue(QComboBox *fields, QLineEdit *text)
{
    FilterBuilder *b = builder();
    if (!b || !fields || !text || fields->count() == 0 || fields->currentIndex() < 0)
        return;
    QString value;
    if (b->extractValue(m_workspace->price(), fields->currentIndex(), &value))
        text->setText(value);
}

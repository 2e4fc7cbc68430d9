#include "partsearchfield.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTableView>
#include <QValidator>

#include "gridcontroller.h"
#include "partsearch.h"
#include "pricesearch.h"
#include "recordtablemodel.h"
#include "workspace.h"

namespace
{
    // Keeps the field's text within a query's limits: a paste or a key
    // beyond them is cut, and the buyer told so.
    class QueryLimit final : public QValidator
    {
    public:
        QueryLimit(Workspace &workspace, QObject *parent)
            : QValidator(parent)
            , m_workspace(workspace)
        { }

        State validate(QString &input, int &position) const override
        {
            bool cut = false;
            const QString kept = PartSearch::limitedQuery(input, &cut);
            if (kept.size() < input.size()) {
                input = kept;
                position = qMin(position, int(kept.size()));
            }
            if (cut)
                m_workspace.setLabel(Workspace::Label::Status, PartSearch::queryCutNote());
            return Acceptable;
        }

    private:
        Workspace &m_workspace;
    };
}

PartSearchField::PartSearchField(Workspace &workspace, GridController *priceGrid, QWidget *lookupBox, QWidget *parent)
    : QWidget(parent)
    , m_workspace(workspace)
    , m_search(PriceSearch::install(workspace))
    , m_grid(priceGrid)
    , m_lookupBox(lookupBox)
{
    setObjectName(QStringLiteral("PartSearchField"));
    auto *label = new QLabel(QStringLiteral("Поиск"), this);
    label->setObjectName(QStringLiteral("PartSearchLabel"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("PartSearchEdit"));
    m_edit->setClearButtonEnabled(true);
    m_edit->setValidator(new QueryLimit(workspace, m_edit));
    m_edit->setFocusPolicy(Qt::StrongFocus);
    m_edit->setMinimumWidth(m_edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 24);
    m_edit->setPlaceholderText(QStringLiteral("код, артикул, название"));
    m_edit->setToolTip(QStringLiteral("Поиск по коду, артикулу, названию и аналогам (Ctrl+K)"));
    label->setBuddy(m_edit);
    // The search's status line; its link reached by Tab, taken by Enter.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("PartSearchStatus"));
    m_status->setTextFormat(Qt::RichText);
    m_status->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_status->setFocusPolicy(Qt::NoFocus);
    m_status->hide();
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addWidget(m_status);
    setTabOrder(m_edit, m_status);

    m_edit->installEventFilter(this);
    m_status->installEventFilter(this);
    if (m_grid && m_grid->view())
        m_grid->view()->installEventFilter(this);
    if (m_grid && m_grid->model()) {
        m_grid->model()->setRowHint([search = m_search](int viewRow) { return search->hint(viewRow); });
        m_grid->model()->setExtraColumn(
            QStringLiteral("Найдено"), [search = m_search] { return search->isActive(); },
            [search = m_search](int viewRow) { return search->found(viewRow); });
    }
    connect(m_status, &QLabel::linkActivated, this, &PartSearchField::searchWholeList);
    connect(m_search, &PriceSearch::changed, this, &PartSearchField::showStatus);

    connect(m_edit, &QLineEdit::textChanged, this, [this](const QString &text) {
        try {
            m_search->search(text);
        } catch (const std::exception &) {
            // A failed index build leaves the list as it was; the field keeps the text.
            m_search->clear();
        }
    });
    connect(m_search, &PriceSearch::reset, this, [this] {
        const QSignalBlocker block(m_edit);
        m_edit->clear();
        showStatus();
    });
}

PartSearchField::~PartSearchField() = default;

QWidget *PartSearchField::lastFocusable() const
{
    return m_status;
}

void PartSearchField::showStatus()
{
    const QString text = m_search->statusText();
    const QString hidden = m_search->hiddenText();
    m_status->setVisible(!text.isEmpty());
    m_status->setFocusPolicy(hidden.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
    if (hidden.isEmpty()) {
        m_status->setText(text.toHtmlEscaped());
        return;
    }
    // The link in the strip's own text colour, underlined (a link colour of
    // the palette need not be readable on the strip); with the keyboard on
    // it, in the strip's colours swapped.
    const QString shown = text.left(text.size() - hidden.size());
    const QPalette palette = m_status->palette();
    QString colours = QStringLiteral("color:") + palette.color(QPalette::WindowText).name();
    if (m_status->hasFocus()) {
        colours = QStringLiteral("color:%1; background-color:%2")
                      .arg(palette.color(QPalette::Window).name(), palette.color(QPalette::WindowText).name());
    }
    m_status->setText(shown.toHtmlEscaped()
                      + QStringLiteral("<a href=\"whole\" style=\"%1; text-decoration:underline\">%2</a>")
                            .arg(colours, hidden.toHtmlEscaped()));
}

void PartSearchField::searchWholeList()
{
    const bool hadFocus = m_status->hasFocus();
    m_search->searchWholeList();
    if (m_grid)
        m_grid->followTableCursor();
    // The link is gone: the keyboard goes back to the field.
    if (hadFocus)
        m_edit->setFocus(Qt::OtherFocusReason);
}

void PartSearchField::focusField()
{
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

void PartSearchField::toFirstHit()
{
    RecordTable &table = m_workspace.price();
    if (!m_grid || !table.isActive() || table.rowCount() == 0)
        return;
    table.first();
    m_grid->followTableCursor();
    m_grid->view()->setFocus(Qt::OtherFocusReason);
}

void PartSearchField::clearSearch()
{
    m_edit->clear(); // the search ends through textChanged
    m_search->clear();
    if (m_grid) {
        m_grid->followTableCursor();
        m_grid->view()->setFocus(Qt::OtherFocusReason);
    }
}

bool PartSearchField::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_status && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        showStatus();
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (watched == m_status) {
        if (key->key() == Qt::Key_Escape)
            clearSearch();
        else if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space)
            searchWholeList();
        else
            return false;
        return true;
    }
    if (watched == m_edit) {
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Down:
            toFirstHit();
            return true;
        case Qt::Key_Escape:
            clearSearch();
            return true;
        default:
            return false;
        }
    }
    if (m_grid && watched == m_grid->view() && key->key() == Qt::Key_Escape && m_search->isActive()
        && !(m_lookupBox && m_lookupBox->isVisible())) {
        clearSearch();
        return true;
    }
    // Shift+Tab: back from the grid below to the field (Tab moves along
    // the grid's columns). Some keymaps (a virtual keyboard's) give it as
    // Tab with Shift held.
    const bool backTab =
        key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && key->modifiers().testFlag(Qt::ShiftModifier));
    if (m_grid && watched == m_grid->view() && backTab && isVisible()) {
        focusField();
        return true;
    }
    return false;
}

#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "actionlist.h"
#include "currencylist.h"
#include "gridlayout.h"
#include "orderdocument.h"
#include "recordtable.h"
#include "settings.h"

class ProgressReporter;
class UserPrompts;

// Everything the main window owns for the whole run, without the widgets:
// the four record tables, the action list, the settings, the price list's
// file names, the order as a document (its file, changed state and total),
// the filter state, the texts the logic shows in the window's labels and
// which panels are shown. The subsystems work on it;
// the window shows it and the command-line program prints from it.
class Workspace final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Workspace)

public:
    enum class Panel
    {
        Price,  // PanelPriceTotal
        Order,  // PanelOrder
        Models, // PanelModels_Select
        Legend  // DetailsPanel
    };

    enum class Label
    {
        Title,   // price title strip, left
        CurDate, // price title strip, right
        OrderTitle,
        Summ,             // SUMM text
        SummHint,         // SUMM tool tip
        Status,           // status line
        FilterStatus,     // FilterStatusLabel text
        FilterStatusHint, // FilterStatusLabel tool tip
        Caption           // the main window's caption
    };

    enum class Grid
    {
        Price,
        Order
    };

    struct FilterState
    {
        QString priceCondition;
        bool priceActive = false;
        QString modelCondition;
        bool modelActive = false;

        friend bool operator==(const FilterState &, const FilterState &) = default;
    };

    explicit Workspace(QObject *parent = nullptr);
    ~Workspace() override;

    RecordTable &price() { return m_price; }
    RecordTable &order() { return m_document.table(); }
    RecordTable &models() { return m_models; }
    RecordTable &modelsAsg() { return m_modelsAsg; }
    const RecordTable &price() const { return m_price; }
    const RecordTable &order() const { return m_document.table(); }

    ActionList &actions() { return m_actions; }
    const ActionList &actions() const { return m_actions; }
    Settings &settings() { return m_settings; }
    const Settings &settings() const { return m_settings; }
    // The currencies offered by the settings dialog: the rouble alone until a
    // price list with a currency-rate line is loaded.
    CurrencyList &currencyList() { return m_currencyList; }
    const CurrencyList &currencyList() const { return m_currencyList; }

    // Services the window (or a test, or the command-line program) provides.
    void setPrompts(UserPrompts *prompts) { m_prompts = prompts; }
    UserPrompts &prompts() const;
    void setProgress(ProgressReporter *progress) { m_progress = progress; }
    ProgressReporter &progress() const;

    // Width in pixels of a text in the grid's font; the window installs the
    // real measure, the default counts 7 pixels a character.
    void setTextWidth(std::function<int(const QString &)> measure) { m_textWidth = std::move(measure); }
    int textWidth(const QString &text) const;
    // A column width given in pixels of the 7-pixel character, widened in
    // proportion when the grid's font is larger (never narrowed).
    int fontWidth(int pixels) const;

    // --- shared state ---------------------------------------------------
    // The loaded price list's file; empty while none is loaded.
    const QString &priceFileName() const { return m_priceFileName; }
    void setPriceFileName(const QString &path) { m_priceFileName = path; }
    // The old edition the loaded list was last compared with.
    const QString &oldPriceFileName() const { return m_oldPriceFileName; }
    void setOldPriceFileName(const QString &path) { m_oldPriceFileName = path; }
    // The name of the supplier's layout the loaded list was read with; empty
    // for the wholesaler's own list.
    const QString &priceLayoutName() const { return m_priceLayoutName; }
    void setPriceLayoutName(const QString &name) { m_priceLayoutName = name; }
    // A layout chosen in advance for the next supplier's list (a saved
    // layout's name or a layout file); empty: recognise or ask.
    const QString &forcedPriceLayout() const { return m_forcedPriceLayout; }
    void setForcedPriceLayout(const QString &layout) { m_forcedPriceLayout = layout; }
    // The file of the same supplier's list that the loaded one replaced: the
    // comparison offers it as the old edition.
    const QString &previousEditionFile() const { return m_previousEditionFile; }
    void setPreviousEditionFile(const QString &path) { m_previousEditionFile = path; }
    // The last supplier's list loaded in this session, kept when it is
    // closed: the supplier's layout name and the file.
    const QString &lastSupplierLayout() const { return m_lastSupplierLayout; }
    const QString &lastSupplierFile() const { return m_lastSupplierFile; }
    void setLastSupplierList(const QString &layout, const QString &path)
    {
        m_lastSupplierLayout = layout;
        m_lastSupplierFile = path;
    }
    // The address being downloaded from; empty between downloads.
    const QString &currentDownloadURL() const { return m_currentDownloadURL; }
    void setCurrentDownloadURL(const QString &url) { m_currentDownloadURL = url; }
    // The conditions of the price list's filters and whether each is on;
    // kept while no list is loaded, for the next one.
    const FilterState &filter() const { return m_filter; }
    void setFilter(const FilterState &state);

    // The open order: its table, undo history, file name, changed state,
    // total and the texts of its sum.
    OrderDocument &document() { return m_document; }
    const OrderDocument &document() const { return m_document; }

    GridLayout &grid(Grid which) { return which == Grid::Price ? m_priceGrid : m_orderGrid; }
    const GridLayout &grid(Grid which) const { return which == Grid::Price ? m_priceGrid : m_orderGrid; }
    // Tells the window that a grid's columns were rebuilt or changed.
    void gridColumnsRebuilt(Grid which) { emit gridColumnsChanged(which); }
    // Tells the window that columns' `preferredWidth` grew (lines posted).
    void gridPreferredWidthsRaised(Grid which) { emit preferredWidthsRaised(which); }
    // Tells the window and the logic that the settings changed in a way they
    // show (caption, legend, money).
    void settingsApplied() { emit settingsChanged(); }
    // Asks the grids to paint their cells anew (discount, currency or marks).
    void requestRepaint() { emit repaintGrids(); }
    // Asks the window to give a grid the keyboard focus (after a load, so
    // that the arrows and typing work at once).
    void requestGridFocus(Grid which) { emit gridFocusRequested(which); }

    // --- window texts and panels ----------------------------------------
    QString label(Label which) const;
    void setLabel(Label which, const QString &text);
    bool isPanelVisible(Panel which) const;
    void setPanelVisible(Panel which, bool visible);

    // --- money (the order's totals, the grids and the exports share these)
    // The amount divided by the current currency's rate, grouped thousands,
    // two decimals, a blank and the currency sign: "1 234.50 р.".
    QString formatMoney(double amount) const;
    // The amount itself when the discount is 100 or more, otherwise
    // amount × (1 − discount / 100).
    double applyDiscount(double amount) const;

    // --- table states read by the enabling rules --------------------------
    bool priceOpen() const { return m_price.isActive(); }
    bool orderOpen() const { return order().isActive(); }
    bool priceNotEmpty() const { return m_price.isActive() && m_price.rowCount() > 0; }
    bool orderNotEmpty() const { return order().isActive() && order().rowCount() > 0; }

    // Runs an action through its rule; errors propagate.
    bool execute(const QString &action) { return m_actions.execute(action); }

    // --- hooks filled by later subsystems ---------------------------------
    // LoadPriceList of the price subsystem: loads `primary`, with `fallback`
    // as the previous edition's name. The settings dialog reloads the price
    // list through it after the price mode changed.
    using PriceLoader = std::function<void(const QString &primary, const QString &fallback)>;
    void setPriceLoader(PriceLoader loader) { m_priceLoader = std::move(loader); }
    bool hasPriceLoader() const { return bool(m_priceLoader); }
    // Throws OrdixError when no loader is installed.
    void loadPriceList(const QString &primary, const QString &fallback);

signals:
    void labelChanged(Workspace::Label which, const QString &text);
    void panelVisibilityChanged(Workspace::Panel which, bool visible);
    void gridColumnsChanged(Workspace::Grid which);
    void preferredWidthsRaised(Workspace::Grid which);
    void gridFocusRequested(Workspace::Grid which);
    // Settings changed in a way the window shows (caption, legend, money).
    void settingsChanged();
    // A filter's condition or its on/off state changed.
    void filterChanged();
    // The grids must repaint (discount or currency changed).
    void repaintGrids();

private:
    RecordTable m_price;
    RecordTable m_models;
    RecordTable m_modelsAsg;
    ActionList m_actions;
    OrderDocument m_document;
    Settings m_settings;
    GridLayout m_priceGrid;
    GridLayout m_orderGrid;
    UserPrompts *m_prompts = nullptr;
    ProgressReporter *m_progress = nullptr;
    QString m_priceFileName;
    QString m_oldPriceFileName;
    QString m_currentDownloadURL;
    FilterState m_filter;
    QString m_priceLayoutName;
    QString m_forcedPriceLayout;
    QString m_previousEditionFile;
    QString m_lastSupplierLayout;
    QString m_lastSupplierFile;
    std::function<int(const QString &)> m_textWidth;
    CurrencyList m_currencyList;
    PriceLoader m_priceLoader;
    QString m_labels[9];
    bool m_panels[4] = {false, false, false, true};
};

#pragma once

#include <functional>

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class Workspace;

// Car model applicability: loads the model and assignment files into
// ModelsDataSet and ModelsAsgDataSet, keeps the state of the models panel
// (brand box and model box), builds the model condition that the price
// filter combines with the price-list condition, and the "Применяемость"
// entries of the price grid's context menu. No widget: the panel and the
// menu mirror this object and report the user's picks to it. Lives as a
// child of the workspace for the whole run.
class CarModels final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CarModels)

public:
    static QString modelsFileName() { return QStringLiteral("rmodel.txt"); }
    static QString assignmentsFileName() { return QStringLiteral("rms_asg.txt"); }
    static QString modelsSchemaFileName() { return QStringLiteral("RModels.xml"); }
    static QString assignmentsSchemaFileName() { return QStringLiteral("RMSAsg.xml"); }
    static QString allBrandsText() { return QStringLiteral("< Все марки >"); }
    static QString allModelsText() { return QStringLiteral("< Все модели >"); }
    static QString allModelsKey() { return QStringLiteral("-1"); }
    static QString noModelsText() { return QStringLiteral("- НЕТ -"); }
    // Tool bar images of Models_Apply_To.
    static constexpr int ApplyToImageOff = 30;
    static constexpr int ApplyToImageOn = 31;

    // Creates the workspace's car models (once) and sets the handlers of
    // Models_LoadSMAsg, Models_CloseSMAsg, Models_Panel, Models_Apply_To,
    // Models_BuildFilter, Models_BuildSumMenus and Models_FreeSubMenus.
    static CarModels *install(Workspace &workspace);
    static CarModels *of(const Workspace &workspace);

    // --- commands -------------------------------------------------------
    void loadSMAsg();
    void closeSMAsg();
    void modelsPanel();
    void applyTo();
    void buildFilter();
    void buildSubMenus();
    void freeSubMenus();
    // ShowModelsPanel.
    void showModelsPanel(bool on);
    // ModelSpareCodes: "Code=N " pieces, joined by "or ", for the parts
    // assigned to the current model, leaving out those whose code is in
    // `present` (the codes the model condition already names).
    QString modelSpareCodes(const QSet<qint64> &present, QList<qint64> *added = nullptr);

    // --- brand box (MBrand_List) ----------------------------------------
    // "< Все марки >" and the distinct brands in ascending order.
    const QStringList &brands() const { return m_brands; }
    int brandIndex() const { return m_brandIndex; }
    // MBrand_ListChange: the user picked entry `index` of the brand box.
    void brandListChange(int index);

    // --- model box (MModel_Lookup) --------------------------------------
    bool modelBoxEnabled() const { return m_modelBoxEnabled; }
    bool modelBoxBound() const { return m_modelBoxBound; }
    // "-1" for "< Все модели >", else the chosen model's code.
    QString modelKey() const { return m_modelKey; }
    // The user picked a model (its code), or "-1"; a model makes its row
    // current in ModelsDataSet.
    void setModelKey(const QString &key);
    // Entries the drop-down list shows at once: the models in view + 1 below
    // 13 models, otherwise 16.
    int modelBoxDropDownCount() const { return m_dropDownCount; }
    struct ModelItem
    {
        QString key;  // CODE as text; "-1" for the empty entry
        QString text; // Model
    };
    // "< Все модели >" and the models in ModelsDataSet's view, in view order.
    QList<ModelItem> modelBoxItems() const;

    // --- "Применяемость" ------------------------------------------------
    struct MenuEntry
    {
        QString name;    // "gml_" + CODE
        QString caption; // Brand + " " + Model
    };
    const QList<MenuEntry> &subMenuEntries() const { return m_entries; }
    // "Применяемость" and its separator are shown while models are loaded.
    bool applicabilityVisible() const { return m_applicabilityVisible; }
    bool applicabilityEnabled() const { return m_applicabilityEnabled; }
    bool noneEntryVisible() const { return m_noneVisible; }
    // PopupMenu1Popup: rebuilds the entries for the price list's current part.
    void popupMenuPopup();
    // An entry chosen from the submenu: filter by that model.
    void selectModelEntry(const QString &entryName);

    // The tool bar image of Models_Apply_To.
    int applyToImage() const { return m_applyToImage; }

    // Hides the price grid's incremental-search box (the window sets it).
    void setHideIncrementalSearch(std::function<void()> hide) { m_hideSearch = std::move(hide); }

signals:
    // The brand list or the chosen brand changed.
    void brandsChanged();
    void modelBoxChanged();
    void subMenuChanged();
    void applyToImageChanged(int image);

private:
    explicit CarModels(Workspace &workspace);

    void defineTables();
    void readModels(const QStringList &lines);
    void readAssignments(const QStringList &lines);
    void fillBrandList();
    void setModelCondition(const QString &condition);
    void showApplyToState();
    void applyPriceFilter();

    Workspace &m_workspace;
    QStringList m_brands;
    int m_brandIndex = -1;
    bool m_modelBoxEnabled = false;
    bool m_modelBoxBound = false;
    QString m_modelKey = allModelsKey();
    int m_dropDownCount = 16;
    QList<MenuEntry> m_entries;
    bool m_applicabilityVisible = false;
    bool m_applicabilityEnabled = false;
    bool m_noneVisible = true;
    int m_applyToImage = ApplyToImageOff;
    quint64 m_applyCount = 0; // applications of the price filter from here
    std::function<void()> m_hideSearch;
};

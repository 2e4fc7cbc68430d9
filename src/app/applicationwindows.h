#pragma once

#include <memory>

class TAboutBox;
class TAddToOrderForm;
class TFilterDialog;
class TListForm;
class TMakeOrderForm;
class TProgressDialog;
class TPropertiesDlg;

// The seven windows of the program, created once in this order and kept for
// the whole run; the dialogs belong to the main window and are shown when
// needed.
class ApplicationWindows final
{
public:
    ApplicationWindows();
    ~ApplicationWindows();

    ApplicationWindows(const ApplicationWindows &) = delete;
    ApplicationWindows &operator=(const ApplicationWindows &) = delete;

    TMakeOrderForm &mainForm() const { return *m_mainForm; }
    TAddToOrderForm &addToOrderForm() const { return *m_addToOrderForm; }
    TAboutBox &aboutBox() const { return *m_aboutBox; }
    TPropertiesDlg &propertiesDlg() const { return *m_propertiesDlg; }
    TListForm &listForm() const { return *m_listForm; }
    TProgressDialog &progressDialog() const { return *m_progressDialog; }
    TFilterDialog &filterDialog() const { return *m_filterDialog; }

private:
    // Destroyed in reverse order: the dialogs before their owner.
    std::unique_ptr<TMakeOrderForm> m_mainForm;
    std::unique_ptr<TAddToOrderForm> m_addToOrderForm;
    std::unique_ptr<TAboutBox> m_aboutBox;
    std::unique_ptr<TPropertiesDlg> m_propertiesDlg;
    std::unique_ptr<TListForm> m_listForm;
    std::unique_ptr<TProgressDialog> m_progressDialog;
    std::unique_ptr<TFilterDialog> m_filterDialog;
};

#pragma once

#include <bitset>

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QTextEdit;

// The about box "О программе....": the program's icon, name and version
// and the rich text about the program on a bevelled panel, and the OK
// button. Holding Shift, Ctrl, Alt and Y together and clicking the icon
// shows the hidden picture over the whole box; releasing any key brings the
// text back. Created once at start-up and shown modally.
class TAboutBox final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAboutBox)

public:
    // Normal size of the box.
    static constexpr int NormalWidth = 306;
    static constexpr int NormalHeight = 240;

    explicit TAboutBox(QWidget *parent = nullptr);

    QLabel *programIcon() const { return m_programIcon; }
    QLabel *productName() const { return m_productName; }
    QLabel *version() const { return m_version; }
    QTextEdit *richEdit() const { return m_richEdit; }
    QFrame *panel() const { return m_panel; }
    QPushButton *okButton() const { return m_okButton; }
    QLabel *image() const { return m_image; }

    // The count of the picture's keys (Shift, Ctrl, Alt, Y) held down.
    int keyCounter() const { return m_counter; }
    bool isPictureShown() const;

    // FormShow: the normal view, the text scrolled to its start.
    void formShow();
    // ProgramIconClick: the picture, when all four keys are held.
    void programIconClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // OKButtonKeyDown / OKButtonKeyUp with Windows virtual-key codes.
    void keyDown(int virtualKey);
    void keyUp();
    static int virtualKey(int qtKey);
    static QPixmap paintedPicture();

    QFrame *m_panel = nullptr;
    QLabel *m_programIcon = nullptr;
    QLabel *m_productName = nullptr;
    QLabel *m_version = nullptr;
    QTextEdit *m_richEdit = nullptr;
    QPushButton *m_okButton = nullptr;
    QLabel *m_image = nullptr;

    int m_counter = 0;
    std::bitset<256> m_counted;
};

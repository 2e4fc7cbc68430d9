#include <QtTest>

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>

#include "about.h"
#include "actionid.h"
#include "applicationwindows.h"
#include "main.h"
#include "workspace.h"

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void textsOfTheBox();
    void showingScrollsTheTextBackToItsStart();
    void fourKeysAndAClickShowThePicture_data();
    void fourKeysAndAClickShowThePicture();
    void escapeCloses_data();
    void escapeCloses();
    void programAboutShowsTheBoxModally();

private:
    static void press(QWidget *target, const QList<Qt::Key> &keys)
    {
        for (Qt::Key key : keys)
            QTest::keyPress(target, key);
    }
};

void TestAbout::textsOfTheBox()
{
    TAboutBox box;
    QCOMPARE(box.windowTitle(), QStringLiteral("О программе...."));
    QCOMPARE(box.productName()->objectName(), QStringLiteral("ProductName"));
    QCOMPARE(box.productName()->text(), QStringLiteral("ZOLT Ordix"));
    QCOMPARE(box.version()->objectName(), QStringLiteral("Version"));
    QCOMPARE(box.version()->text(), QStringLiteral("Версия 3.0"));
    QCOMPARE(box.okButton()->objectName(), QStringLiteral("OKButton"));
    QCOMPARE(box.okButton()->text(), QStringLiteral("OK"));
    QVERIFY(box.okButton()->isDefault());
    QCOMPARE(box.panel()->objectName(), QStringLiteral("Panel1"));
    QCOMPARE(box.programIcon()->objectName(), QStringLiteral("ProgramIcon"));
    QCOMPARE(box.programIcon()->size(), QSize(32, 32));
    QCOMPARE(box.image()->objectName(), QStringLiteral("Image1"));
    QVERIFY(!box.image()->pixmap().isNull());
    QVERIFY(box.isModal());

    QTextEdit *text = box.richEdit();
    QCOMPARE(text->objectName(), QStringLiteral("RichEdit1"));
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    const QString plain = text->toPlainText();
    // In this order: the notice, the heading, what the program does, where
    // to write, the wish.
    const qsizetype notice = plain.indexOf(QStringLiteral("распространяется"));
    const qsizetype heading = plain.indexOf(QStringLiteral("О ПРОГРАММЕ."));
    const qsizetype purpose = plain.indexOf(QStringLiteral("составления заказов"));
    const qsizetype mail = plain.indexOf(QStringLiteral("@"));
    const qsizetype wish = plain.indexOf(QStringLiteral("Успешной Вам работы!"));
    QVERIFY(notice >= 0);
    QVERIFY(notice < heading && heading < purpose && purpose < mail && mail < wish);
    // The notice is bold, the address blue and underlined.
    QTextCursor cursor(text->document());
    cursor.setPosition(int(notice) + 1);
    QVERIFY(cursor.charFormat().font().bold());
    cursor.setPosition(int(mail));
    QVERIFY(cursor.charFormat().fontUnderline());
    QCOMPARE(cursor.charFormat().foreground().color(), QColor(Qt::blue));
}

void TestAbout::showingScrollsTheTextBackToItsStart()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(TAboutBox::NormalWidth, TAboutBox::NormalHeight));
    QVERIFY(box.panel()->isVisible());
    QVERIFY(!box.image()->isVisible());

    QTextEdit *text = box.richEdit();
    text->moveCursor(QTextCursor::End);
    text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
    box.hide();
    box.show();
    QCOMPARE(text->textCursor().position(), 0);
    QVERIFY(!text->textCursor().hasSelection());
    QCOMPARE(text->verticalScrollBar()->value(), 0);
}

void TestAbout::fourKeysAndAClickShowThePicture_data()
{
    QTest::addColumn<QList<Qt::Key>>("keys");
    QTest::addColumn<bool>("picture");

    QTest::newRow("Shift, Ctrl, Alt, Y") << QList<Qt::Key>{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Y}
                                         << true;
    QTest::newRow("Y first") << QList<Qt::Key>{Qt::Key_Y, Qt::Key_Alt, Qt::Key_Shift, Qt::Key_Control} << true;
    QTest::newRow("only three") << QList<Qt::Key>{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt} << false;
    QTest::newRow("a key pressed twice counts once")
        << QList<Qt::Key>{Qt::Key_Shift, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt} << false;
    QTest::newRow("another letter does not count")
        << QList<Qt::Key>{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Z} << false;
}

void TestAbout::fourKeysAndAClickShowThePicture()
{
    QFETCH(QList<Qt::Key>, keys);
    QFETCH(bool, picture);
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    // Without the keys the icon does nothing.
    QTest::mouseClick(box.programIcon(), Qt::LeftButton);
    QVERIFY(!box.isPictureShown());

    press(box.okButton(), keys);
    QTest::mouseClick(box.programIcon(), Qt::LeftButton);
    QCOMPARE(box.isPictureShown(), picture);
    QCOMPARE(box.panel()->isVisibleTo(&box), !picture);
    if (picture) {
        QCOMPARE(box.keyCounter(), 4);
        QCOMPARE(box.size(), box.image()->pixmap().size());
        QCOMPARE(box.image()->geometry(), box.rect());
        QVERIFY(box.okButton()->hasFocus() || QApplication::focusWidget() == nullptr);
    }

    // Releasing any key brings the text back and starts the count anew.
    QTest::keyRelease(box.okButton(), keys.last());
    QVERIFY(!box.isPictureShown());
    QVERIFY(box.panel()->isVisibleTo(&box));
    QCOMPARE(box.size(), QSize(TAboutBox::NormalWidth, TAboutBox::NormalHeight));
    QCOMPARE(box.keyCounter(), 0);
    QTest::mouseClick(box.programIcon(), Qt::LeftButton);
    QVERIFY(!box.isPictureShown());

    // The keys count on the text as well.
    press(box.richEdit(), {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Y});
    QCOMPARE(box.keyCounter(), 4);
    QTest::mouseClick(box.programIcon(), Qt::LeftButton);
    QVERIFY(box.isPictureShown());
    QTest::keyRelease(box.richEdit(), Qt::Key_Alt);
    QVERIFY(!box.isPictureShown());
}

void TestAbout::escapeCloses_data()
{
    QTest::addColumn<bool>("onText");
    QTest::newRow("OK button") << false;
    QTest::newRow("rich text") << true;
}

void TestAbout::escapeCloses()
{
    QFETCH(bool, onText);
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyPress(onText ? static_cast<QWidget *>(box.richEdit()) : box.okButton(), Qt::Key_Escape);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Rejected));
}

void TestAbout::programAboutShowsTheBoxModally()
{
    ApplicationWindows windows;
    TAboutBox &box = windows.aboutBox();
    QWidget *shown = nullptr;
    QTimer::singleShot(0, &box, [&] {
        shown = QApplication::activeModalWidget();
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    QVERIFY(windows.mainForm().workspace().execute(ActionId::ProgramAbout));
    QCOMPARE(shown, static_cast<QWidget *>(&box));
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"

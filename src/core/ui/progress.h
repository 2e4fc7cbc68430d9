#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>

#include "progressreporter.h"

class QLabel;
class QProgressBar;

// The shared progress window: a small tool window without system buttons,
// shown without blocking the interface while a long operation runs inside
// one handler. The operation repaints it through stepProgress() and polls
// stopRequested() to notice an Escape press.
class TProgressDialog final : public QDialog, public ProgressReporter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TProgressDialog)

public:
    explicit TProgressDialog(QWidget *parent = nullptr);
    ~TProgressDialog() override;

    // StartProgress: shows the window with the text and "0%"-style general
    // percentage; a maximum of 0 is taken as 1.
    void startProgress(const QString &text, int position, int maximum) override;
    // StepProgress: moves the bar; shows the percentage with two decimals,
    // repainting only when its text changed; hides at or past the maximum.
    void stepProgress(int position) override;
    // Lets pending events through at most every 50 ms, with the user's input
    // held back, and answers whether Escape was pressed since the last call.
    bool stopRequested() override;
    int stopRequestedWithin(int steps) override;

    bool isRunning() const { return m_running; }
    QString operationText() const;
    QString percentText() const;
    int maximum() const;
    int position() const;

    // The window has no cancel: Escape and the system's close do nothing.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void waitUntilExposed();
    void finish();
    void centreOnOwner();

    QLabel *m_progType = nullptr;
    QLabel *m_prog = nullptr;
    QProgressBar *m_progressBar = nullptr;
    bool m_running = false;
    bool m_cursorSet = false;
    bool m_polling = false;
    bool m_escapePressed = false;
    QPointer<QWidget> m_modalAtPoll;
    QElapsedTimer m_lastPoll;
    QElapsedTimer m_lastOwnerPaint;
    QElapsedTimer m_lastPaint;
};

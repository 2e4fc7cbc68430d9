#pragma once

#include <QString>

// The shared progress window as the logic sees it. The window implements it;
// tests and the command-line program use a silent one that records the texts.
class ProgressReporter
{
public:
    virtual ~ProgressReporter() = default;

    // Show the window for a new operation (a maximum of 0 is taken as 1).
    virtual void startProgress(const QString &text, int position, int maximum) = 0;
    // Move the bar; at or past the maximum the window hides. Ignored while hidden.
    virtual void stepProgress(int position) = 0;
    // True when the user pressed Escape since the previous call (or holds it
    // down). Long operations poll this once per step of their work.
    virtual bool stopRequested() = 0;
    // For `steps` steps of work done at once: the step (from 0) after which
    // a stop was asked, or -1. The same as one poll per step; a window that
    // only looks at the keyboard now and then may answer with one poll.
    virtual int stopRequestedWithin(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            if (stopRequested())
                return i;
        }
        return -1;
    }

    // Hides the window whatever the operation reached: a step past the
    // maximum of 100 the operations start with.
    void finishProgress() { stepProgress(FinishedPosition); }

    static constexpr int FinishedPosition = 101;
};

// Hides the progress window when the scope ends, by return or by throw.
class ProgressFinish final
{
public:
    explicit ProgressFinish(ProgressReporter &progress)
        : m_progress(progress)
    { }
    ~ProgressFinish() { m_progress.finishProgress(); }

    ProgressFinish(const ProgressFinish &) = delete;
    ProgressFinish &operator=(const ProgressFinish &) = delete;

private:
    ProgressReporter &m_progress;
};

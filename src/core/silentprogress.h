#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "progressreporter.h"

// A progress reporter without a window, for tests and the command-line
// program. It keeps the window's state (visible, maximum, position) and
// records what an operation reported; a test can ask it to request a stop
// after a number of polls.
class SilentProgress final : public ProgressReporter
{
public:
    void startProgress(const QString &text, int position, int maximum) override
    {
        m_texts.append(text);
        m_maximum = maximum == 0 ? 1 : maximum;
        m_position = qMin(position, m_maximum);
        m_visible = true;
        m_steps.clear();
    }

    void stepProgress(int position) override
    {
        if (!m_visible)
            return;
        m_steps.append(position);
        m_position = qMin(position, m_maximum);
        if (m_position >= m_maximum)
            m_visible = false;
    }

    bool stopRequested() override
    {
        ++m_polls;
        return m_stopAfter >= 0 && m_polls > m_stopAfter;
    }

    // Request a stop once `polls` polls have passed; -1 never.
    void stopAfter(int polls)
    {
        m_stopAfter = polls;
        m_polls = 0;
    }

    bool isVisible() const { return m_visible; }
    int maximum() const { return m_maximum; }
    int position() const { return m_position; }
    const QStringList &texts() const { return m_texts; }
    const QList<int> &steps() const { return m_steps; } // of the last operation

private:
    QStringList m_texts;
    QList<int> m_steps;
    bool m_visible = false;
    int m_maximum = 1;
    int m_position = 0;
    int m_stopAfter = -1;
    int m_polls = 0;
};

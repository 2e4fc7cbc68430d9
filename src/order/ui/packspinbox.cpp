#include "packspinbox.h"

#include <QStyle>

PackSpinBox::PackSpinBox(QWidget *parent)
    : QSpinBox(parent)
{ }

PackSpinBox::~PackSpinBox() = default;

void PackSpinBox::setPack(int pack)
{
    m_pack = pack > 1 ? pack : 0;
    setSingleStep(m_pack > 0 ? m_pack : 1);
}

qint64 PackSpinBox::lastPacks() const
{
    return qint64(maximum()) / m_pack;
}

void PackSpinBox::stepBy(int steps)
{
    if (m_pack == 0 || steps == 0) {
        QSpinBox::stepBy(steps);
        return;
    }
    interpretText(); // a number typed but not yet taken counts
    const qint64 current = value();
    // Whole packs below (or at) the value and above it.
    const qint64 below = steps > 0 ? current / m_pack : (current - 1) / m_pack;
    const qint64 packs = qBound<qint64>(1, below + (steps > 0 ? steps : steps + 1), lastPacks());
    const qint64 target = packs * m_pack;
    if ((steps > 0 && target > current) || (steps < 0 && target < current))
        setValue(int(target));
    if (style()->styleHint(QStyle::SH_SpinBox_SelectOnStep, nullptr, this))
        selectAll();
}

QAbstractSpinBox::StepEnabled PackSpinBox::stepEnabled() const
{
    if (m_pack == 0 || isReadOnly() || text().trimmed().isEmpty())
        return QSpinBox::stepEnabled();
    StepEnabled enabled = StepNone;
    if (value() > m_pack)
        enabled |= StepDownEnabled;
    if (value() < lastPacks() * m_pack)
        enabled |= StepUpEnabled;
    return enabled;
}

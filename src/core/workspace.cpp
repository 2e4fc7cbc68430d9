#include "workspace.h"

#include "ordixerror.h"
#include "progressreporter.h"
#include "textfile.h"
#include "userprompts.h"

Workspace::Workspace(QObject *parent)
    : QObject(parent)
    , m_price(QStringLiteral("PriceDataSet"))
    , m_models(QStringLiteral("ModelsDataSet"))
    , m_modelsAsg(QStringLiteral("ModelsAsgDataSet"))
    , m_document(*this)
{ }

Workspace::~Workspace() = default;

void Workspace::setFilter(const FilterState &state)
{
    if (state == m_filter)
        return;
    m_filter = state;
    emit filterChanged();
}

UserPrompts &Workspace::prompts() const
{
    if (!m_prompts)
        throw OrdixError(QStringLiteral("No user prompts installed"));
    return *m_prompts;
}

ProgressReporter &Workspace::progress() const
{
    if (!m_progress)
        throw OrdixError(QStringLiteral("No progress window installed"));
    return *m_progress;
}

int Workspace::textWidth(const QString &text) const
{
    if (m_textWidth)
        return m_textWidth(text);
    return int(text.size()) * 7;
}

int Workspace::fontWidth(int pixels) const
{
    static const QString Sample = QStringLiteral("0123456789");
    const int sampleWidth = textWidth(Sample);
    const int reference = int(Sample.size()) * 7;
    if (sampleWidth <= reference)
        return pixels;
    return int((qint64(pixels) * sampleWidth + reference - 1) / reference);
}

QString Workspace::label(Label which) const
{
    return m_labels[int(which)];
}

void Workspace::setLabel(Label which, const QString &text)
{
    QString &current = m_labels[int(which)];
    if (current == text)
        return;
    current = text;
    emit labelChanged(which, text);
}

bool Workspace::isPanelVisible(Panel which) const
{
    return m_panels[int(which)];
}

void Workspace::setPanelVisible(Panel which, bool visible)
{
    bool &current = m_panels[int(which)];
    if (current == visible)
        return;
    current = visible;
    emit panelVisibilityChanged(which, visible);
}

QString Workspace::formatMoney(double amount) const
{
    double rate = m_settings.currentCurrency.rate;
    if (!(rate > 0))
        rate = 1.0;
    return Decimal::formatGrouped(amount / rate, 2) + QLatin1Char(' ') + m_settings.currentCurrency.symbol;
}

double Workspace::applyDiscount(double amount) const
{
    const double d = m_settings.discount;
    if (d >= 100)
        return amount;
    return amount * (1.0 - d / 100.0);
}

void Workspace::loadPriceList(const QString &primary, const QString &fallback)
{
    if (!m_priceLoader)
        throw OrdixError(QStringLiteral("The price list loader is not installed"));
    m_priceLoader(primary, fallback);
}

#include "settings.h"

#include <cmath>

#include <QFile>

#include "ordixerror.h"
#include "textfile.h"
#include "userprompts.h"

QChar Settings::effectiveDecimalSeparator() const
{
    if (decimalSeparator == QLatin1Char('.') || decimalSeparator == QLatin1Char(','))
        return decimalSeparator;
    return QLatin1Char('.');
}

namespace
{
    // The lines of user.ini and the key look-up of the settings reader: the
    // first line whose part before its first "=" equals the key, letters
    // compared without regard to case, gives the text after that "=". The
    // part before the "=" is not trimmed, so " Customer = x" names no key.
    class IniLines final
    {
    public:
        explicit IniLines(const QByteArray &contents)
            : m_lines(TextFile::decodeLines(contents))
        { }

        QString value(QStringView key) const
        {
            for (const QString &line : m_lines) {
                const qsizetype equals = line.indexOf(QLatin1Char('='));
                if (equals < 0)
                    continue;
                if (QStringView(line).first(equals).compare(key, Qt::CaseInsensitive) == 0)
                    return line.sliced(equals + 1);
            }
            return QString();
        }

    private:
        QStringList m_lines;
    };

    QString yesNo(bool on)
    {
        return on ? QStringLiteral("yes") : QStringLiteral("no");
    }

    QString floatText(float value, int decimals, QChar separator)
    {
        return Decimal::format(double(value), decimals, separator);
    }

    // A decimal text as a 32-bit float; false when it is no number or lies
    // beyond the range of the type (such a discount reads as 0).
    bool parseFloat(QStringView text, QChar separator, float *value)
    {
        double number = 0;
        if (!Decimal::parse(text, separator, &number))
            return false;
        const float single = float(number);
        if (!std::isfinite(single))
            return false;
        *value = single;
        return true;
    }
}

namespace SettingsFile
{
    Settings load(const QString &path)
    {
        QFile file(path);
        if (!file.exists())
            return Settings();
        // A file that is there but cannot be read is treated like a missing
        // one: the program starts with the defaults instead of failing.
        if (!file.open(QIODevice::ReadOnly))
            return Settings();
        const QByteArray contents = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return Settings();
        return parse(contents);
    }

    Settings parse(const QByteArray &contents)
    {
        const IniLines ini(contents);
        Settings s;

        s.customer = ini.value(u"Customer");
        s.addr = ini.value(u"Addr");
        s.phone = ini.value(u"Phone");
        s.contact = ini.value(u"Contact");
        s.bank = ini.value(u"Bank");
        s.bik = ini.value(u"BIK");
        s.settlementAccount = ini.value(u"SettlementAccount");
        s.correspondentAccount = ini.value(u"CorrespondentAccount");
        s.inn = ini.value(u"INN");
        s.delivery = ini.value(u"Delivery");
        s.pack = ini.value(u"Pack");
        s.payment = ini.value(u"Payment");
        s.url = ini.value(u"URL");
        s.autoLoadPrice = ini.value(u"AutoLoadPrice");
        s.defaultCurrency = ini.value(u"DefaultCurrency");

        const QString decimalSeparator = ini.value(u"defaultDecimalSeparator");
        s.decimalSeparator = decimalSeparator.isEmpty() ? QLatin1Char('.') : decimalSeparator.front();
        const QString priceSeparator = ini.value(u"defaultPriceSeparator");
        s.priceSeparator = priceSeparator.isEmpty() ? QLatin1Char('|') : priceSeparator.front();

        // The discount is read with the separator this very file names, so
        // the file reads the same whatever separator the program had so far.
        float discount = 0.0f;
        if (!parseFloat(ini.value(u"Discount"), s.effectiveDecimalSeparator(), &discount))
            discount = 0.0f;
        s.discount = discount;

        qint32 priceMode = 1;
        if (!isWholeNumber(ini.value(u"UserWSL"), &priceMode) || (priceMode != 1 && priceMode != 2))
            priceMode = 1;
        s.priceMode = priceMode;

        s.showLegend = ini.value(u"ShowLegend") == QLatin1String("yes");
        return s;
    }

    QByteArray serialize(const Settings &settings)
    {
        QStringList lines;
        auto add = [&lines](const char *key, const QString &value) {
            lines.append(QLatin1String(key) + QLatin1Char('=') + value);
        };
        add("Customer", settings.customer);
        add("Discount", floatText(settings.discount, 2, Decimal::separator()));
        add("UserWSL", QString::number(settings.priceMode));
        add("Pack", settings.pack);
        add("Delivery", settings.delivery);
        add("Payment", settings.payment);
        add("Addr", settings.addr);
        add("Phone", settings.phone);
        add("Contact", settings.contact);
        add("Bank", settings.bank);
        add("BIK", settings.bik);
        add("SettlementAccount", settings.settlementAccount);
        add("CorrespondentAccount", settings.correspondentAccount);
        add("INN", settings.inn);
        lines.append(QString());
        add("URL", settings.url);
        add("AutoLoadPrice", settings.autoLoadPrice);
        add("defaultDecimalSeparator", QString(settings.decimalSeparator));
        add("defaultPriceSeparator", QString(settings.priceSeparator));
        add("ShowLegend", yesNo(settings.showLegend));
        add("DefaultCurrency", settings.defaultCurrency);
        return TextFile::encodeLines(lines);
    }

    bool save(const Settings &settings, const QString &path, UserPrompts *prompts)
    {
        const QByteArray bytes = serialize(settings);
        for (;;) {
            try {
                TextFile::writeBytes(path, bytes);
                return true;
            } catch (const OrdixError &) {
                if (!prompts)
                    return false;
                const UserPrompts::Answer answer = prompts->askRetryCancel(
                    QStringLiteral("Warning"), QStringLiteral("Can't save user information into user.ini file."));
                if (answer != UserPrompts::Answer::Retry)
                    return false;
            }
        }
    }
}

namespace Currencies
{
    QList<RCurrency> fromRateLine(const QString &line, QChar separator, QChar decimalSeparator)
    {
        QList<RCurrency> list{RCurrency::rouble()};
        int position = 1;
        if (SplitField(line, position, separator).toLower() != QStringLiteral("курс"))
            return list;
        while (position < line.size()) {
            const QString rateText = SplitField(line, position, separator);
            const QString name = SplitField(line, position, separator);
            const QString symbol = SplitField(line, position, separator);
            if (rateText.isEmpty() || name.isEmpty() || symbol.isEmpty())
                continue;
            // A rate that is no number counts as 1. Amounts are divided by the
            // rate, so a currency whose rate is zero, negative or beyond the
            // range of the type would show nonsense: it is not offered.
            float rate = 1.0f;
            double number = 0;
            if (Decimal::parse(rateText, decimalSeparator, &number)) {
                rate = float(number);
                if (!std::isfinite(rate) || !(rate > 0.0f))
                    continue;
            }
            RCurrency currency;
            currency.rate = rate;
            currency.name = name;
            currency.symbol = symbol;
            list.append(currency);
        }
        return list;
    }

    QString displayText(const RCurrency &currency, bool first, QChar decimalSeparator)
    {
        QString text = currency.name + QStringLiteral(" (") + currency.symbol + QLatin1Char(')');
        if (!first)
            text += QStringLiteral(" - ") + floatText(currency.rate, 2, decimalSeparator);
        return text;
    }

    int indexOfSymbol(const QList<RCurrency> &list, const QString &symbol)
    {
        for (qsizetype i = list.size() - 1; i >= 0; --i) {
            if (list.at(i).symbol == symbol)
                return int(i);
        }
        return 0;
    }
}

// Reads arbitrary bytes as user.ini, writes the settings back and reads them
// again: every stored setting must come back as it was read the first time
// (as far as the code page can hold it).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>

#include "cp1251.h"
#include "settings.h"
#include "textfile.h"

namespace
{
    [[noreturn]] void fail(const char *what)
    {
        std::fprintf(stderr, "fuzz_settings: %s differs after writing and reading back\n", what);
        std::abort();
    }

    void check(bool same, const char *what)
    {
        if (!same)
            fail(what);
    }

    // A text as the file can hold it: the one byte without a character
    // (0x98) reads as U+FFFD and is written back as "?".
    QString stored(const QString &text)
    {
        return Cp1251::decode(Cp1251::encode(text));
    }

    void checkText(const QString &first, const QString &second, const char *what)
    {
        check(stored(first) == second, what);
    }

    void checkChar(QChar first, QChar second, const char *what)
    {
        check(stored(QString(first)) == QString(second), what);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), qsizetype(size));
    const Settings first = SettingsFile::parse(contents);

    // As at start-up: the program-wide separator comes from the settings.
    Decimal::setSeparator(first.effectiveDecimalSeparator());
    const QByteArray written = SettingsFile::serialize(first);
    const Settings second = SettingsFile::parse(written);

    checkText(first.customer, second.customer, "Customer");
    checkText(first.addr, second.addr, "Addr");
    checkText(first.phone, second.phone, "Phone");
    checkText(first.contact, second.contact, "Contact");
    checkText(first.bank, second.bank, "Bank");
    checkText(first.bik, second.bik, "BIK");
    checkText(first.settlementAccount, second.settlementAccount, "SettlementAccount");
    checkText(first.correspondentAccount, second.correspondentAccount, "CorrespondentAccount");
    checkText(first.inn, second.inn, "INN");
    checkText(first.delivery, second.delivery, "Delivery");
    checkText(first.pack, second.pack, "Pack");
    checkText(first.payment, second.payment, "Payment");
    check(first.priceMode == second.priceMode, "UserWSL");
    checkText(first.url, second.url, "URL");
    checkText(first.autoLoadPrice, second.autoLoadPrice, "AutoLoadPrice");
    checkChar(first.decimalSeparator, second.decimalSeparator, "defaultDecimalSeparator");
    checkChar(first.priceSeparator, second.priceSeparator, "defaultPriceSeparator");
    check(first.showLegend == second.showLegend, "ShowLegend");
    checkText(first.defaultCurrency, second.defaultCurrency, "DefaultCurrency");

    // The discount is written with two decimals: it comes back rounded to
    // them, within the precision of a 32-bit float.
    check(std::isfinite(first.discount) && std::isfinite(second.discount), "Discount (finite)");
    const float ulp = std::nextafter(std::fabs(first.discount), INFINITY) - std::fabs(first.discount);
    check(std::fabs(double(second.discount) - double(first.discount)) <= 0.005 + double(ulp) + 1e-9, "Discount");

    Decimal::setSeparator(QLatin1Char('.'));
    return 0;
}

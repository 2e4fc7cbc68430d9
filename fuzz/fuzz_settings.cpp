// Reads arbitrary bytes as user.ini, writes the settings back and reads them
// again: every stored setting must come back as it was read the first time.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>

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
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), qsizetype(size));
    const Settings first = SettingsFile::parse(contents);

    // As at start-up: the program-wide separator comes from the settings.
    Decimal::setSeparator(first.effectiveDecimalSeparator());
    const QByteArray written = SettingsFile::serialize(first);
    const Settings second = SettingsFile::parse(written);

    check(first.customer == second.customer, "Customer");
    check(first.addr == second.addr, "Addr");
    check(first.phone == second.phone, "Phone");
    check(first.contact == second.contact, "Contact");
    check(first.bank == second.bank, "Bank");
    check(first.bik == second.bik, "BIK");
    check(first.settlementAccount == second.settlementAccount, "SettlementAccount");
    check(first.correspondentAccount == second.correspondentAccount, "CorrespondentAccount");
    check(first.inn == second.inn, "INN");
    check(first.delivery == second.delivery, "Delivery");
    check(first.pack == second.pack, "Pack");
    check(first.payment == second.payment, "Payment");
    check(first.priceMode == second.priceMode, "UserWSL");
    check(first.url == second.url, "URL");
    check(first.autoLoadPrice == second.autoLoadPrice, "AutoLoadPrice");
    check(first.decimalSeparator == second.decimalSeparator, "defaultDecimalSeparator");
    check(first.priceSeparator == second.priceSeparator, "defaultPriceSeparator");
    check(first.showLegend == second.showLegend, "ShowLegend");
    check(first.defaultCurrency == second.defaultCurrency, "DefaultCurrency");

    // The discount is written with two decimals: it comes back rounded to
    // them, within the precision of a 32-bit float.
    check(std::isfinite(first.discount) && std::isfinite(second.discount), "Discount (finite)");
    const float ulp = std::nextafter(std::fabs(first.discount), INFINITY) - std::fabs(first.discount);
    check(std::fabs(double(second.discount) - double(first.discount)) <= 0.005 + double(ulp) + 1e-9, "Discount");

    Decimal::setSeparator(QLatin1Char('.'));
    return 0;
}

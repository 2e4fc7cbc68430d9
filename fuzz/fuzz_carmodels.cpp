// Reads arbitrary bytes as the two car-model files (the models up to the
// first zero byte, the assignments after it), then closes them again.
#include <cstdint>

#include <QScopeGuard>

#include "carmodels.h"
#include "fuzzsupport.h"
#include "ordixerror.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Session &s = Fuzz::session();
    static CarModels *models = CarModels::install(s.ws);
    const QByteArray input = Fuzz::bytes(data, size);
    const qsizetype zero = input.indexOf('\0');
    Fuzz::writeFile(CarModels::modelsFileName(), zero < 0 ? input : input.left(zero));
    Fuzz::writeFile(CarModels::assignmentsFileName(), zero < 0 ? QByteArray() : input.mid(zero + 1));
    // The model files are read from the current folder.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(Fuzz::folder().path());
    const auto back = qScopeGuard([&previous] { QDir::setCurrent(previous); });
    try {
        models->loadSMAsg();
        const int rows = s.ws.models().rowCount();
        if (models->modelBoxItems().size() > rows + 1)
            Fuzz::fail("fuzz_carmodels", "the model box holds more than the models");
    } catch (const OrdixError &) {
    }
    models->closeSMAsg();
    return 0;
}

#include "pricegenerator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>

#include <QByteArray>
#include <QFile>

#include "cp1251.h"

namespace
{
    QList<QByteArray> encodeAll(std::initializer_list<const char16_t *> words)
    {
        QList<QByteArray> result;
        for (const char16_t *w : words)
            result.append(Cp1251::encode(QStringView(w)));
        return result;
    }

    struct Vocabulary
    {
        QList<QByteArray> parts = encodeAll({
            u"Гайка",       u"Шайба",    u"Фильтр",    u"Колодки", u"Свеча",    u"Ремень",     u"Подшипник",
            u"Амортизатор", u"Насос",    u"Прокладка", u"Датчик",  u"Лампа",    u"Трос",       u"Сальник",
            u"Втулка",      u"Шланг",    u"Рычаг",     u"Опора",   u"Стойка",   u"Наконечник", u"Пыльник",
            u"Хомут",       u"Патрубок", u"Реле",      u"Щётка",   u"Диск",     u"Барабан",    u"Цилиндр",
            u"Термостат",   u"Радиатор", u"Шпилька",   u"Винт",    u"Заклёпка", u"FILTER",     u"Bearing",
            u"Gasket",      u"Sensor",
        });
        QList<QByteArray> bolts = encodeAll({u"Болт", u"БОЛТ", u"болт", u"Болт-шпилька"});
        QList<QByteArray> words = encodeAll({
            u"масляный",   u"воздушный",  u"топливный",   u"салонный",  u"тормозные",     u"зажигания", u"ГРМ",
            u"ступицы",    u"передний",   u"задний",      u"левый",     u"правый",        u"водяной",   u"головки",
            u"блока",      u"давления",   u"температуры", u"сцепления", u"стабилизатора", u"рулевой",   u"тяги",
            u"генератора", u"стартера",   u"кардана",     u"КПП",       u"двигателя",     u"М6",        u"М8",
            u"М10",        u"М12",        u"М8х20",       u"М10х1.25",  u"DIN933",        u"оцинк.",    u"комплект",
            u"болтовой",   u"усиленный",  u"(2 шт.)",     u"ВАЗ 2108",  u"ГАЗель",        u"УАЗ",       u"Audi A4",
            u"VW Passat",  u"Ford Focus", u"BMW E39",     u"Toyota",    u"OPEL",          u"Renault",   u"KIA",
            u"Hyundai",    u"Nissan",     u"1.6",         u"2.0",       u"TDI",           u"16V",       u"ABS",
            u"h=55",
        });
        QList<QByteArray> makers = encodeAll({
            u"BOSCH",        u"MANN-FILTER", u"SKF",       u"LEMFORDER", u"TRW",     u"FEBI",   u"SACHS",
            u"NGK",          u"GATES",       u"CONTITECH", u"VALEO",     u"MAHLE",   u"KNECHT", u"DELPHI",
            u"DAYCO",        u"INA",         u"FAG",       u"SWAG",      u"MEYLE",   u"TOPRAN", u"ELRING",
            u"VICTOR REINZ", u"ATE",         u"BREMBO",    u"FERODO",    u"DENSO",   u"HELLA",  u"PHILIPS",
            u"OSRAM",        u"Россия",      u"АвтоВАЗ",   u"ГАЗ",       u"ТРИАЛЛИ", u"ЛУЗАР",  u"БелМаг",
        });
        QList<QByteArray> groups = encodeAll({
            u"Крепёж",
            u"Фильтры",
            u"Тормозная система",
            u"Подвеска",
            u"Двигатель",
            u"Электрика",
            u"Охлаждение",
            u"Трансмиссия",
            u"Рулевое управление",
            u"Выхлопная система",
            u"Кузов",
            u"Освещение",
            u"Болты",
            u"Расходники",
            u"Инструмент",
        });
        QList<QByteArray> packs = {"1", "1", "1", "2", "4", "10", "20", "50", "100", ""};
    };

    class Writer
    {
    public:
        explicit Writer(const QString &path)
        {
            m_file = std::fopen(QFile::encodeName(path).constData(), "wb");
            if (!m_file) {
                std::fprintf(stderr, "ordix-bench: cannot write %s\n", QFile::encodeName(path).constData());
                std::exit(1);
            }
            m_buffer.reserve(1 << 20);
        }
        ~Writer()
        {
            flush();
            std::fclose(m_file);
        }
        void add(const QByteArray &bytes) { m_buffer.append(bytes); }
        void add(const char *text) { m_buffer.append(text); }
        void add(char ch) { m_buffer.append(ch); }
        void endLine()
        {
            m_buffer.append("\r\n");
            if (m_buffer.size() > (1 << 20) - 4096)
                flush();
        }
        void flush()
        {
            m_written += qint64(std::fwrite(m_buffer.constData(), 1, size_t(m_buffer.size()), m_file));
            m_buffer.clear();
        }
        qint64 written() const { return m_written; }

    private:
        std::FILE *m_file = nullptr;
        QByteArray m_buffer;
        qint64 m_written = 0;
    };
}

void generatePriceFile(const QString &path, qint64 rows, std::vector<qint32> *codes, qint64 *bytes)
{
    const Vocabulary v;
    std::mt19937_64 rng(20261208);
    auto pick = [&rng](const QList<QByteArray> &list) -> const QByteArray & {
        return list[qsizetype(rng() % uint64_t(list.size()))];
    };
    auto chance = [&rng](int percent) { return int(rng() % 100) < percent; };

    // Unique codes: a shuffled sample of a range a fifth larger than needed.
    std::vector<qint32> pool(size_t(rows + rows / 5 + 1));
    std::iota(pool.begin(), pool.end(), 10000);
    std::shuffle(pool.begin(), pool.end(), rng);
    pool.resize(size_t(rows));
    *codes = pool;

    {
        Writer out(path);
        out.add(
            Cp1251::encode(u"Код|Наименование|Артикул|Производитель|НормаУпаковки|Цена|Статус|Каталоги|Аналоги(Коды)"));
        out.endLine();
        char number[64];
        for (qint64 i = 0; i < rows; ++i) {
            std::snprintf(number, sizeof number, "%d|", (*codes)[size_t(i)]);
            out.add(number);
            // Name: a part word (a bolt now and then), then two to five words.
            out.add(chance(5) ? pick(v.bolts) : pick(v.parts));
            const int words = 2 + int(rng() % 4);
            for (int w = 0; w < words; ++w) {
                out.add(' ');
                out.add(pick(v.words));
            }
            out.add('|');
            // Part number.
            const int length = 8 + int(rng() % 8);
            for (int k = 0; k < length; ++k) {
                const int r = int(rng() % 40);
                out.add(r < 10 ? char('0' + r) : r < 36 ? char('A' + r - 10) : r < 38 ? ' ' : '-');
            }
            out.add('|');
            out.add(pick(v.makers));
            out.add('|');
            out.add(pick(v.packs));
            out.add('|');
            const uint64_t kopecks = 1000 + (rng() % 5000000) * (chance(10) ? 10 : 1);
            std::snprintf(number, sizeof number, "%llu.%02llu|%d|", static_cast<unsigned long long>(kopecks / 100),
                          static_cast<unsigned long long>(kopecks % 100), int(rng() % 5));
            out.add(number);
            out.add(pick(v.groups));
            if (chance(40)) {
                out.add(',');
                out.add(pick(v.groups));
            }
            out.add('|');
            const int analogues = chance(60) ? 0 : 1 + int(rng() % 3);
            for (int a = 0; a < analogues; ++a) {
                std::snprintf(number, sizeof number, ",%d", (*codes)[size_t(rng() % uint64_t(rows))]);
                out.add(number);
            }
            out.endLine();
        }
        out.flush();
        *bytes = out.written();
    }
}

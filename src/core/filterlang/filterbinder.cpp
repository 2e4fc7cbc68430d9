#include "filterbinder.h"

#include <algorithm>
#include <string>

#include <QStringList>

#include "cp1251.h"
#include "ordixerror.h"
#include "textfile.h"
#include "valuekey.h"

using Mode = BoundFilter::Mode;
using Op = FilterNode::Op;

namespace
{
    std::string foldedBytes(const QString &text, bool *ok)
    {
        const QByteArray encoded = Cp1251::encode(text, ok);
        const QByteArray folded = Cp1251::folded(encoded);
        return std::string(folded.constData(), size_t(folded.size()));
    }

    // Parses the text of a text constant as a number for a numeric field.
    bool textAsNumber(const QString &text, double *value)
    {
        qint32 whole = 0;
        if (isWholeNumber(QStringView(text).trimmed(), &whole)) {
            *value = whole;
            return true;
        }
        return Decimal::parse(text, value);
    }

    BoundFilter::Kind boundKind(FilterNode::Kind kind)
    {
        switch (kind) {
        case FilterNode::Kind::Or:
            return BoundFilter::Kind::Or;
        case FilterNode::Kind::And:
            return BoundFilter::Kind::And;
        case FilterNode::Kind::Not:
            return BoundFilter::Kind::Not;
        case FilterNode::Kind::Compare:
            break;
        }
        return BoundFilter::Kind::Compare;
    }
}

FilterBinder::FilterBinder(const QList<FieldDef> &fields)
    : m_fields(fields)
{ }

std::unique_ptr<BoundFilter> FilterBinder::bind(const FilterNode &node) const
{
    if (node.kind == FilterNode::Kind::Compare)
        return bindCompare(node.comparison);
    auto n = std::make_unique<BoundFilter>();
    n->kind = boundKind(node.kind);
    n->children.reserve(node.children.size());
    for (const auto &child : node.children)
        n->children.push_back(bind(*child));
    if (n->kind == BoundFilter::Kind::Or)
        mergeValueSets(*n);
    if (n->kind == BoundFilter::Kind::And) {
        // Cheap conditions first: later ones test only the rows left.
        std::stable_sort(n->children.begin(), n->children.end(),
                         [](const auto &a, const auto &b) { return a->cost < b->cost; });
    }
    n->cost = 0;
    for (const auto &child : n->children)
        n->cost = std::max(n->cost, child->cost);
    return n;
}

std::unique_ptr<BoundFilter> FilterBinder::bindCompare(const FilterNode::Comparison &comparison) const
{
    auto node = std::make_unique<BoundFilter>();
    BoundFilter &n = *node;
    n.kind = BoundFilter::Kind::Compare;
    n.written = comparison;
    const FilterNode::Comparison &c = n.written;
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.compare(c.fieldName, Qt::CaseInsensitive) == 0) {
            n.field = int(i);
            break;
        }
    }
    if (n.field < 0)
        throw OrdixError(QStringLiteral("Field '%1' not found").arg(c.fieldName));
    n.type = m_fields[n.field].type;

    if (n.type != FieldType::String) {
        double value = 0;
        bool numeric = false;
        if (!c.textConstant) {
            value = double(c.integer);
            numeric = true;
        } else if (c.op != Op::Like && !(c.op == Op::Equal && c.text.endsWith(QLatin1Char('*')))) {
            numeric = textAsNumber(c.text, &value);
        }
        if (numeric) {
            n.number = value;
            n.mode = c.op == Op::Equal ? Mode::NumEqual : Mode::NumGreater;
            uint64_t key;
            if (n.mode == Mode::NumEqual && !valueKey(n.type, value, &key))
                n.mode = Mode::Nothing;
            n.cost = 1;
            return node;
        }
        n.viaText = true;
        bindText(n, c.text);
        n.cost = 4;
        return node;
    }
    bindText(n, c.textConstant ? c.text : QString::number(c.integer));
    n.cost = (n.mode == Mode::TextContains || n.mode == Mode::TextLike) ? 3 : 2;
    return node;
}

// Sets the text mode of a comparison whose constant is `text`.
void FilterBinder::bindText(BoundFilter &n, const QString &text)
{
    bool ok = true;
    const Op op = n.written.op;
    if (op == Op::Equal) {
        if (text.endsWith(QLatin1Char('*'))) {
            n.needle = foldedBytes(text.left(text.size() - 1), &ok);
            n.mode = n.needle.empty() ? Mode::All : Mode::TextPrefix;
        } else {
            n.needle = foldedBytes(text, &ok);
            n.mode = Mode::TextEqual;
        }
    } else if (op == Op::GreaterOrEqual) {
        // Characters that the code page lacks cannot be compared in
        // order; such a constant is compared as encoded ("?").
        n.needle = foldedBytes(text, nullptr);
        n.mode = Mode::TextGreater;
        return;
    } else {
        const QStringList parts = text.split(QLatin1Char('%'));
        if (parts.size() == 1) {
            n.needle = foldedBytes(text, &ok);
            n.mode = Mode::TextEqual;
        } else {
            n.anchoredStart = !parts.front().isEmpty();
            n.anchoredEnd = !parts.back().isEmpty();
            for (const QString &part : parts) {
                if (part.isEmpty())
                    continue;
                bool partOk = true;
                n.segments.push_back(foldedBytes(part, &partOk));
                ok = ok && partOk;
            }
            if (n.segments.empty()) {
                n.mode = Mode::All;
            } else if (n.segments.size() == 1 && !n.anchoredStart && !n.anchoredEnd) {
                n.needle = n.segments.front();
                n.mode = Mode::TextContains;
            } else if (n.segments.size() == 1 && n.anchoredStart && !n.anchoredEnd) {
                n.needle = n.segments.front();
                n.mode = Mode::TextPrefix;
            } else {
                n.mode = Mode::TextLike;
            }
        }
    }
    // A character that no stored text can hold never matches.
    if (!ok)
        n.mode = Mode::Nothing;
}

// Turns the "field = number" terms of an OR that name one numeric field
// into one set look-up.
void FilterBinder::mergeValueSets(BoundFilter &orNode)
{
    std::vector<std::unique_ptr<BoundFilter>> kept;
    std::vector<std::unique_ptr<BoundFilter>> sets;
    std::vector<std::vector<double>> setValues; // by set
    for (auto &child : orNode.children) {
        const bool candidate = child->kind == BoundFilter::Kind::Compare && !child->viaText
            && (child->mode == Mode::NumEqual || child->mode == Mode::Nothing) && child->type != FieldType::String;
        if (!candidate) {
            kept.push_back(std::move(child));
            continue;
        }
        size_t s = 0;
        while (s < sets.size() && sets[s]->field != child->field)
            ++s;
        if (s == sets.size()) {
            auto set = std::make_unique<BoundFilter>();
            set->kind = BoundFilter::Kind::ValueSet;
            set->field = child->field;
            set->written.fieldName = child->written.fieldName;
            set->type = child->type;
            set->cost = 1;
            sets.push_back(std::move(set));
            setValues.emplace_back();
        }
        if (child->mode == Mode::NumEqual)
            setValues[s].push_back(child->number);
    }
    for (size_t s = 0; s < sets.size(); ++s) {
        sets[s]->values.build(sets[s]->type, std::move(setValues[s]));
        kept.push_back(std::move(sets[s]));
    }
    orNode.children = std::move(kept);
}

#include "FuzzedTree.h"

#include "RollUp.h"

#include <cerrno>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>

namespace {

QByteArray nameFrom(FuzzedDataProvider &input, bool top)
{
    std::string bytes = input.ConsumeRandomLengthString(24);
    std::erase(bytes, '\0');
    if (!top)
        std::erase(bytes, '/');
    if (bytes.empty())
        bytes = top ? "/" : "n";
    return QByteArray::fromStdString(bytes);
}

// Values where orders and texts change: the ends of the plain range of time texts
// (1902 and 2200), the epoch, days and moments around clock changes, the largest.
// `a + b`, held at the ends of the range.
std::int64_t plus(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    return sum;
}

std::int64_t timeFrom(FuzzedDataProvider &input, std::int64_t &last)
{
    static constexpr std::int64_t Edges[] = {0, -2145916800, 7258118400, 1711846800, 1729990800, 1700000000,
        86400, -1, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
        253402300799, -62135596800};
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
        last = input.ConsumeIntegral<std::int64_t>();
        break;
    case 1:
        last = plus(input.PickValueInArray(Edges), input.ConsumeIntegralInRange<std::int64_t>(-90000, 90000));
        break;
    case 2:
        last = 1600000000 + input.ConsumeIntegralInRange<std::int64_t>(0, 400000000);
        break;
    case 3:
        last = plus(last, input.ConsumeIntegralInRange(-2, 2)); // equal stamps, or a second apart
        break;
    default:
        break; // the same as the last
    }
    return last;
}

std::uint64_t sizeFrom(FuzzedDataProvider &input, std::uint64_t &last)
{
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        last = input.ConsumeIntegral<std::uint64_t>();
        break;
    case 1:
        last = input.ConsumeIntegralInRange<std::uint64_t>(0, 1u << 20);
        break;
    case 2:
        last = std::uint64_t(1) << input.ConsumeIntegralInRange(0, 63);
        break;
    default:
        break; // the same as the last
    }
    return last;
}

std::vector<double> boundsFrom(FuzzedDataProvider &input)
{
    // As a configuration gives them: 32-bit integers in any order.
    std::vector<double> bounds(input.ConsumeIntegralInRange(0, 4));
    for (double &b : bounds)
        b = input.ConsumeIntegral<std::int32_t>();
    return bounds;
}

} // namespace

std::shared_ptr<CatalogTree> MakeFuzzedTree(FuzzedDataProvider &input)
{
    auto tree = std::make_shared<CatalogTree>();
    tree->addTop(nameFrom(input, true));
    std::deque<NodeIndex> folders {tree->top()};
    std::int64_t lastTime = 1700000000;
    std::uint64_t lastSize = 0;
    while (!folders.empty() && tree->nodeCount() < FuzzedTreeMaxNodes && input.remaining_bytes() > 0) {
        const NodeIndex folder = folders.front();
        folders.pop_front();
        const int children = input.ConsumeIntegralInRange(0, 8);
        for (int c = 0; c < children && tree->nodeCount() < FuzzedTreeMaxNodes; ++c) {
            const QByteArray name = nameFrom(input, false);
            const NodeIndex n = tree->appendChild(folder, name.constData(), std::size_t(name.size()));
            CatalogNodeData &d = tree->node(n);
            const auto kind = NodeKind(input.ConsumeIntegralInRange(0, 2));
            d.setKind(kind);
            if (kind != NodeKind::Unknown && input.ConsumeIntegralInRange(0, 7) != 0) {
                d.set(CatalogNodeData::HasSize);
                d.set(CatalogNodeData::HasDetails);
                d.size = sizeFrom(input, lastSize);
                // The birth time is often missing; the others a file system always keeps.
                if (input.ConsumeBool()) {
                    d.set(CatalogNodeData::HasCreateTime);
                    d.createTime = timeFrom(input, lastTime);
                }
                d.set(CatalogNodeData::HasAccessTime);
                d.accessTime = timeFrom(input, lastTime);
                d.set(CatalogNodeData::HasWriteTime);
                d.writeTime = timeFrom(input, lastTime);
            }
            if (kind != NodeKind::Folder)
                continue;
            if (input.ConsumeIntegralInRange(0, 7) == 0)
                tree->markUnreadable(n, EACCES);
            else
                folders.push_back(n);
        }
    }
    FinishTree(*tree);
    if (input.ConsumeBool()) {
        std::vector<double> sizes = boundsFrom(input);
        std::vector<double> ages = boundsFrom(input);
        std::int64_t moment = timeFrom(input, lastTime);
        tree->setClassification({std::move(sizes), std::move(ages), moment == 0 ? 1 : moment});
    }
    return tree;
}

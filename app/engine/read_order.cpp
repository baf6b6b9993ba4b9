#include "read_order.h"

#include <algorithm>
#include <numeric>

using namespace TesselLibrary;

std::vector<std::size_t> DiskOrder(const std::vector<DiskPlace>& places) {
    std::vector<std::size_t> order(places.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const bool allMapped =
        std::all_of(places.begin(), places.end(), [](const DiskPlace& place) { return place.empty || place.mapped; });
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const DiskPlace& x = places[a];
        const DiskPlace& y = places[b];
        if (x.empty != y.empty) return x.empty;
        if (x.empty) return false;
        return allMapped ? x.physical < y.physical : x.node < y.node;
    });
    return order;
}

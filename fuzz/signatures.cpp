// Each format's size function on a candidate, then the deep scan over the input as a volume.
#include <atomic>
#include <cstring>
#include <vector>

#include "disk/device_registry.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"
#include "recovery/signatures/sc_library.h"
#include "recovery/signatures/signature.h"

namespace {

struct scan_check_s {
    std::size_t volume_bytes = 0;
    std::uint64_t next_free = 0;
};

void on_found(void* user, const char* extension, std::uint64_t offset, std::uint64_t size)
{
    auto* c = static_cast<scan_check_s*>(user);
    const std::size_t length = std::strlen(extension);
    FUZZ_CHECK(length >= 1 && length <= 8);
    FUZZ_CHECK(offset % 512 == 0);
    FUZZ_CHECK(size > 0 && offset + size <= c->volume_bytes);
    // Files are reported in the order of their offsets and never overlap.
    FUZZ_CHECK(offset >= c->next_free);
    c->next_free = offset + size;
}

}  // namespace

int fuzz_signatures(const std::uint8_t* data, std::size_t size)
{
    fuzz::quiet();
    if (size < 1)
        return 0;
    const auto& formats = signature_registry();
    const signature_s& format = *formats[data[0] % formats.size()];

    const QString name = "mem:fuzz-volume";
    auto candidate = std::make_shared<std::vector<std::uint8_t>>(data + 1, data + size);
    register_memory_device(name, candidate);
    {
        const std::unique_ptr<block_device> device = open_block_device(name, device_access::read);
        FUZZ_CHECK(device != nullptr);
        std::int32_t stop = 0;
        const std::atomic_ref<std::int32_t> stop_ref(stop);
        const std::uint64_t limit = std::min<std::uint64_t>(candidate->size(), format.default_max);
        carve_reader reader(*device, 0, limit, &stop_ref);
        const std::optional<carve_result_s> found = format.size(reader);
        if (found) {
            FUZZ_CHECK(found->size > 0 && found->size <= limit);
            FUZZ_CHECK(!found->extension || (std::strlen(found->extension) >= 1 && std::strlen(found->extension) <= 8));
        }
    }

    // The whole scan, over the same bytes as a volume.
    scan_check_s check;
    check.volume_bytes = candidate->size();
    sc_context_s context;
    context.user = &check;
    context.callback = on_found;
    const int result = sc_scan(&context, name.toLocal8Bit().constData());
    FUZZ_CHECK(result == 0 || (result == -1 && candidate->empty()));
    FUZZ_CHECK(context.progress >= 0.0 && context.progress <= 1.0);
    unregister_device(name);
    return 0;
}

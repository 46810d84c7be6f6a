#include "recovery/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct sink_s {
    std::mutex lock;
    diagnostic_sink sink = stderr_diagnostics();
};

// Never destroyed: engine threads may still report while the process exits.
sink_s& current()
{
    static sink_s* s = new sink_s;
    return *s;
}

}  // namespace

void set_diagnostic_sink(diagnostic_sink sink)
{
    const std::lock_guard<std::mutex> g(current().lock);
    current().sink = std::move(sink);
}

diagnostic_sink stderr_diagnostics()
{
    return [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); };
}

void diagnostic(const char* format, ...)
{
    sink_s& s = current();
    const std::lock_guard<std::mutex> g(s.lock);
    if (!s.sink)
        return;
    char small[256];
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        va_end(again);
        s.sink(std::string_view(small, static_cast<std::size_t>(n)));
        return;
    }
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, again);
    va_end(again);
    s.sink(std::string_view(big.data(), static_cast<std::size_t>(n)));
}

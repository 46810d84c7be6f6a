// Reading the configuration file; its format is described in sc_library.h.
#include "recovery/signatures/sc_config.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

#include "recovery/diagnostics.h"
#include "recovery/signatures/sc_library.h"
#include "recovery/signatures/signature.h"

namespace {

std::mutex settings_lock;
std::optional<std::vector<sc_type_setting_s>> loaded;  // empty: built-in settings

std::vector<sc_type_setting_s> builtin_settings()
{
    std::vector<sc_type_setting_s> out;
    for (const signature_s* s : signature_registry())
        out.push_back({true, s->default_max});
    return out;
}

// A byte count with an optional K, M, G or T suffix; false on anything else or on overflow.
bool parse_size(const std::string& text, std::uint64_t& out)
{
    if (text.empty())
        return false;
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (UINT64_MAX - 9) / 10)
            return false;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    if (i == 0)
        return false;
    unsigned shift = 0;
    if (i + 1 == text.size()) {
        switch (text[i]) {
        case 'K':
        case 'k':
            shift = 10;
            break;
        case 'M':
        case 'm':
            shift = 20;
            break;
        case 'G':
        case 'g':
            shift = 30;
            break;
        case 'T':
        case 't':
            shift = 40;
            break;
        default:
            return false;
        }
    } else if (i != text.size()) {
        return false;
    }
    if (shift != 0 && value > (UINT64_MAX >> shift))
        return false;
    out = value << shift;
    return out > 0;
}

}  // namespace

int sc_load_config(const char* path)
{
    std::vector<sc_type_setting_s> settings = builtin_settings();
    const std::vector<const signature_s*>& registry = signature_registry();
    std::ifstream in(path ? path : "");
    int result = -1;
    if (in) {
        result = 0;
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            const std::size_t hash = line.find('#');
            if (hash != std::string::npos)
                line.erase(hash);
            std::istringstream words(line);
            std::string name, state, size, extra;
            if (!(words >> name))
                continue;
            words >> state >> size >> extra;
            std::size_t index = registry.size();
            for (std::size_t i = 0; i < registry.size(); ++i) {
                if (name == registry[i]->name)
                    index = i;
            }
            std::uint64_t max = 0;
            const char* problem = nullptr;
            if (index == registry.size())
                problem = "unknown type";
            else if (state != "on" && state != "off")
                problem = "expected on or off after the type";
            else if (!size.empty() && !parse_size(size, max))
                problem = "bad maximum size";
            else if (!extra.empty())
                problem = "extra words";
            if (problem) {
                diagnostic("%s:%d: %s, line skipped\n", path, number, problem);
                continue;
            }
            settings[index].enabled = state == "on";
            if (!size.empty())
                settings[index].max_size = max;
        }
    }
    std::lock_guard guard(settings_lock);
    loaded = std::move(settings);
    return result;
}

std::vector<sc_type_setting_s> sc_current_settings()
{
    std::lock_guard guard(settings_lock);
    return loaded ? *loaded : builtin_settings();
}

std::vector<std::string> sc_type_names()
{
    std::vector<std::string> out;
    for (const signature_s* s : signature_registry())
        out.emplace_back(s->name);
    return out;
}

#include "disk/boot_program.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Reads the zero-terminated string starting at `offset`; `terminated` tells
// whether a zero byte was found before the end of the program.
std::string string_at(std::size_t offset, bool& terminated)
{
    const auto bytes = boot_program();
    std::string text;
    terminated = false;
    for (std::size_t i = offset; i < bytes.size(); ++i) {
        if (bytes[i] == 0) {
            terminated = true;
            break;
        }
        text.push_back(static_cast<char>(bytes[i]));
    }
    return text;
}

struct Message {
    std::size_t offset;
    std::string_view text;
};

constexpr std::array<Message, 3> k_messages{{
    {0x163, "Invalid partition table"},
    {0x17B, "Error loading operating system"},
    {0x19A, "Missing operating system"},
}};

}  // namespace

TEST(BootProgram, StartsByClearingAxAndSettingUpTheStack)
{
    // xor ax,ax (33 C0); mov ss,ax; mov sp,0x7C00
    constexpr std::array<std::uint8_t, 7> expected{0x33, 0xC0, 0x8E, 0xD0, 0xBC, 0x00, 0x7C};
    const auto bytes = boot_program();
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(bytes[i], expected[i]) << "at offset " << i;
}

TEST(BootProgram, MessagesStandAtTheirOffsetsAndAreZeroTerminated)
{
    for (const Message& message : k_messages) {
        bool terminated = false;
        const std::string text = string_at(message.offset, terminated);
        EXPECT_EQ(text, message.text) << "at offset 0x" << std::hex << message.offset;
        EXPECT_TRUE(terminated) << "no zero byte after the message at 0x" << std::hex << message.offset;
    }
}

TEST(BootProgram, LastThreeBytesHoldTheLowBytesOfTheMessageOffsets)
{
    // The code rebuilds each message address from these bytes.
    const auto bytes = boot_program();
    EXPECT_EQ(bytes[437], 0x63);
    EXPECT_EQ(bytes[438], 0x7B);
    EXPECT_EQ(bytes[439], 0x9A);
}

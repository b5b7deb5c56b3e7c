#pragma once

#include <cstdint>

namespace vx
{

    /** Which listener lists a broadcast reaches, and whether now or later. */
    struct CallType
    {
        enum Flag : std::uint8_t
        {
            syncListeners = 1,  ///< call the synchronous list
            asyncListeners = 2, ///< call the asynchronous list
            deferSync = 4,      ///< record the synchronous call for later delivery
            immediateAsync = 8  ///< call the asynchronous list now instead of recording
        };

        constexpr explicit CallType(std::uint8_t flagBits = 0) noexcept : flags(flagBits) {}
        constexpr bool has(Flag flag) const noexcept { return (flags & flag) != 0; }

        std::uint8_t flags;

        static const CallType standard;            ///< sync now, async later
        static const CallType forced;              ///< both now, sync first
        static const CallType onlySync;            ///< sync now
        static const CallType onlyAsync;           ///< async later
        static const CallType onlyAsyncForced;     ///< async now
        static const CallType callEverythingAsync; ///< both later, one record each
    };

    inline constexpr CallType CallType::standard{3};
    inline constexpr CallType CallType::forced{11};
    inline constexpr CallType CallType::onlySync{1};
    inline constexpr CallType CallType::onlyAsync{2};
    inline constexpr CallType CallType::onlyAsyncForced{10};
    inline constexpr CallType CallType::callEverythingAsync{7};

} // namespace vx

// Any bytes as a music file of every kind the tag reader knows: tags or nothing, never a
// fault, and the placeholders fill a name from whatever comes back without a "/" in it.
#include <stdlib.h>

#include <cstdint>

#include "io/audio_tags.h"
#include "rename/placeholders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brindle;
    FileFacts facts;
    facts.audio = ReadAudioTags(data, size);
    const RenameRow row{true, "/music/a.mp3", "a.mp3", "", {}, "/music"};
    const std::string name = FillPlaceholders(
        "{artist}{album}{title}{track:02}{disc}{year}{genre}", row, facts);
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
        abort();
    }
    return 0;
}

// Character files come from anyone: the reader must refuse bad ones with AgentError,
// within bounded time and memory, and never crash.
#include "Agent.h"
#include "CharacterFile.h"
#include "FuzzSupport.h"
#include "SampleCharacter.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString seeds = fuzz::SeedFolder();
    if (seeds.isEmpty())
        return 0;
    const QString path = seeds + QStringLiteral("/sample.acs");
    if (!agent::sample::writeSampleCharacter(path, QStringLiteral("Pip"), 12, 14).isEmpty())
        std::exit(1);
    fuzz::SeedsWritten();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const agent::detail::CharacterData character = agent::detail::loadCharacterFile(fuzz::MemoryFile(data, size));
        for (const agent::detail::Animation &animation : character.animations)
            for (const agent::detail::FrameStep &step : animation.frames)
                if (step.image < 0 || step.image >= character.images.size())
                    std::abort();   // every frame names a decoded picture
    } catch (const agent::AgentError &) {
    }
    return 0;
}

// What a character looks like (its traits, fixed per character) and how it stands in
// one frame (a pose). The painter turns the two into a picture; the choreography turns
// a list of poses into the animations of a character file.
#pragma once

#include <QColor>
#include <QString>

namespace chars {

enum class BodyShape { Round, Egg, Box, Ghost, Snail, Wide };
enum class Ears { None, Pointy, Round, Antenna, Horns, Tufts, Stalks, Bumps };
enum class Tail { None, Bushy, Thin, Spiky, Stub };
enum class Snout { None, Muzzle, Beak, Nose, Grille };
enum class Feet { Legs, Flat, Float, Slide };
enum class ArmStyle { Stubby, Flipper, Robot, Sleeve };
enum class EyeStyle { Round, Visor, Big, Dot };

struct Voice
{
    QString language = QStringLiteral("en");
    QString variant;
    int rate = 160;     // words a minute
    int pitch = 50;     // 0..100
    int range = 50;     // 0..100
    int volume = 100;   // 0..200
};

struct Traits
{
    QString name;       // the character's own name
    QString fileName;   // file name without folder, e.g. "Pip.acs"
    BodyShape body = BodyShape::Round;
    Ears ears = Ears::None;
    Tail tail = Tail::None;
    Snout snout = Snout::None;
    Feet feet = Feet::Legs;
    ArmStyle arms = ArmStyle::Stubby;
    EyeStyle eyes = EyeStyle::Round;
    QColor main;        // fur, shell, paint ...
    QColor belly;       // front patch
    QColor accent;      // ear insides, nose, antenna light, horns ...
    QColor iris;
    QColor limb;        // feet and hands; invalid = main
    double bodyWidth = 60;
    double bodyHeight = 70;
    bool whiskers = false;
    bool wings = false;
    bool blush = true;
    bool topHat = false;
    bool bowTie = false;
    bool spots = false;
    bool brows = false;
    bool faceDisc = false;  // pale rings around the eyes (an owl's face)
    Voice voice;
};

enum class Mouth { Smile, Open, Oh, Flat, Grin };
enum class Prop { None, Trumpet, Flag };
enum class Effect { None, Exclaim, Notes, Sparkles, Confetti, Zzz, SpeedLines, Question };

// One frame's stance. Angles are degrees; arm angles are 0 when the arm hangs down,
// 90 when it points straight out to its own side, 180 straight up, and negative when
// it reaches across the front of the body.
struct Pose
{
    double dx = 0, dy = 0;      // body offset in pixels (negative dy is up)
    double lean = 0;            // tilt of the whole body, positive leans right
    double squash = 0;          // positive flattens, negative stretches
    double scale = 1;           // whole figure, about the feet
    double opacity = 1;
    double armL = 20, armR = 20;
    double lookX = 0, lookY = 0;    // pupils, -1..1 (positive is right / down)
    double eyeOpen = 1;         // 0 shut .. 1 open
    bool happyEyes = false;     // closed upward arcs
    bool wideEyes = false;
    Mouth mouth = Mouth::Smile;
    double mouthOpen = 0;       // 0..1 for Open and Oh
    double brow = 0;            // -1 frown .. 1 raised
    double step = 0;            // walk cycle phase, radians
    bool walking = false;
    double sway = 0;            // tail / ear / wing swing, -1..1
    bool blushing = false;
    bool cheeksPuffed = false;
    Prop prop = Prop::None;
    double propAngle = 0;       // flag pole tilt from upright, degrees
    double flagWave = 0;        // phase of the flag cloth ripple
    Effect effect = Effect::None;
    double effectPhase = 0;     // 0..1, how far the effect has run
    double effectSide = 1;      // speed lines: +1 moving right, -1 moving left
};

} // namespace chars

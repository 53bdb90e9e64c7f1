#include "Choreography.h"

#include "Painter.h"

#include <QtMath>

namespace chars {

namespace {

struct Step
{
    Pose pose;
    int ms = 120;
};

class Builder
{
public:
    Builder(CharacterFile &file, const Traits &traits) : file_(file), traits_(traits) {}

    void add(const QString &name, const QList<Step> &steps, const QString &returnName = QString(),
             bool loop = false)
    {
        Animation a;
        a.returnName = returnName;
        a.loop = loop;
        for (int i = 0; i < steps.size(); ++i) {
            const QString path = file_.addFrame(drawFrame(traits_, steps[i].pose), QStringLiteral("%1_%2").arg(name).arg(i));
            a.frames.append(FrameRef{path, steps[i].ms});
        }
        file_.addAnimation(name, a);
    }

private:
    CharacterFile &file_;
    const Traits &traits_;
};

const Pose Rest{};

// One walk cycle of four frames heading one way; loops while the window glides.
QList<Step> walk(double lean, double lookX, double lookY, double side)
{
    QList<Step> steps;
    for (int i = 0; i < 4; ++i) {
        const double phase = i * M_PI / 2;
        steps.append({Pose{.dy = -2.5 * std::abs(std::sin(phase)), .lean = lean,
                           .squash = 0.04 * std::cos(2 * phase), .armL = 20 + 25 * std::sin(phase),
                           .armR = 20 - 25 * std::sin(phase), .lookX = lookX, .lookY = lookY,
                           .mouth = Mouth::Grin, .step = phase, .walking = true,
                           .sway = std::sin(phase) * 0.6, .effect = Effect::SpeedLines,
                           .effectPhase = i / 4.0, .effectSide = side},
                      110});
    }
    return steps;
}

// A look in one direction: the eyes lead, the body follows a little; the return
// brings both back.
void addLook(Builder &b, const QString &name, double x, double y)
{
    b.add(name, {{Pose{.lookX = x * 0.5, .lookY = y * 0.5}, 100},
                 {Pose{.dx = x, .dy = y * 1.5, .lean = x * 3, .squash = y * 0.04, .lookX = x, .lookY = y}, 120},
                 {Pose{.dx = x * 1.5, .dy = y * 2, .lean = x * 4, .squash = y * 0.05, .lookX = x, .lookY = y, .brow = -y * 0.4}, 160}},
          name + "_return");
    b.add(name + "_return", {{Pose{.dx = x, .lean = x * 2, .lookX = x * 0.6, .lookY = y * 0.6}, 100},
                             {Pose{.lookX = x * 0.2, .lookY = y * 0.2}, 100},
                             {Rest, 100}});
}

void addGreetings(Builder &b)
{
    b.add("greet", {{Pose{.armR = 70}, 120},
                    {Pose{.armR = 150, .happyEyes = true, .mouth = Mouth::Open, .mouthOpen = 0.4}, 130},
                    {Pose{.lean = 2, .armR = 175, .happyEyes = true, .mouth = Mouth::Open, .mouthOpen = 0.6}, 130},
                    {Pose{.armR = 135, .happyEyes = true, .mouth = Mouth::Grin}, 130},
                    {Pose{.lean = 2, .armR = 175, .happyEyes = true, .mouth = Mouth::Grin}, 130},
                    {Pose{.dy = 1, .squash = 0.1, .armL = 30, .armR = 40, .happyEyes = true, .blushing = true}, 180},
                    {Rest, 120}});
    b.add("wave", {{Pose{.armR = 90}, 110},
                   {Pose{.armR = 160, .mouth = Mouth::Grin}, 110},
                   {Pose{.lean = -2, .armR = 125, .mouth = Mouth::Grin}, 110},
                   {Pose{.lean = 2, .armR = 170, .mouth = Mouth::Grin}, 110},
                   {Pose{.lean = -2, .armR = 125, .mouth = Mouth::Grin}, 110},
                   {Pose{.lean = 2, .armR = 165, .happyEyes = true, .mouth = Mouth::Grin}, 110},
                   {Pose{.armR = 60}, 110},
                   {Rest, 110}});
    b.add("pleased", {{Pose{.armL = 35, .armR = 35, .happyEyes = true, .blushing = true}, 130},
                      {Pose{.dy = -4, .squash = -0.05, .armL = 45, .armR = 45, .happyEyes = true, .mouth = Mouth::Grin, .blushing = true}, 130},
                      {Pose{.squash = 0.08, .armL = 30, .armR = 30, .happyEyes = true, .mouth = Mouth::Grin, .blushing = true}, 130},
                      {Pose{.dy = -3, .lean = -3, .armL = 45, .armR = 45, .happyEyes = true, .mouth = Mouth::Grin, .blushing = true, .effect = Effect::Sparkles, .effectPhase = 0.2}, 130},
                      {Pose{.lean = 3, .armL = 30, .armR = 30, .happyEyes = true, .blushing = true, .effect = Effect::Sparkles, .effectPhase = 0.6}, 150},
                      {Rest, 130}});
    b.add("cheer", {{Pose{.squash = 0.15, .armL = 40, .armR = 40, .mouth = Mouth::Grin}, 110},
                    {Pose{.dy = -14, .squash = -0.1, .armL = 170, .armR = 170, .happyEyes = true, .mouth = Mouth::Open, .mouthOpen = 1, .effect = Effect::Sparkles}, 110},
                    {Pose{.dy = -18, .squash = -0.06, .armL = 160, .armR = 175, .happyEyes = true, .mouth = Mouth::Open, .mouthOpen = 1, .effect = Effect::Sparkles, .effectPhase = 0.3}, 120},
                    {Pose{.dy = -6, .armL = 150, .armR = 150, .happyEyes = true, .mouth = Mouth::Open, .mouthOpen = 0.7, .effect = Effect::Sparkles, .effectPhase = 0.6}, 110},
                    {Pose{.squash = 0.12, .armL = 120, .armR = 120, .happyEyes = true, .mouth = Mouth::Grin}, 100},
                    {Pose{.dy = -12, .squash = -0.08, .armL = 175, .armR = 165, .happyEyes = true, .mouth = Mouth::Open, .mouthOpen = 1, .effect = Effect::Sparkles, .effectPhase = 0.9}, 120},
                    {Rest, 120}});
    QList<Step> clap;
    clap.append({Pose{.armL = 50, .armR = 50, .mouth = Mouth::Grin}, 120});
    for (int i = 0; i < 5; ++i) {
        const bool together = i % 2 == 0;
        clap.append({Pose{.dy = together ? -2.0 : 0.0, .armL = together ? -55.0 : 45.0, .armR = together ? -55.0 : 45.0,
                          .happyEyes = true, .mouth = together ? Mouth::Open : Mouth::Grin, .mouthOpen = 0.6,
                          .effect = Effect::Confetti, .effectPhase = i / 5.0}, 120});
    }
    clap.append({Rest, 120});
    b.add("congratulate", clap);
}

void addReactions(Builder &b)
{
    b.add("gestureleft", {{Pose{.armL = 55, .lookX = -0.5}, 120},
                          {Pose{.lean = -3, .armL = 90, .lookX = -1, .mouth = Mouth::Grin}, 120},
                          {Pose{.dx = -1, .lean = -5, .armL = 100, .lookX = -1, .mouth = Mouth::Open, .mouthOpen = 0.3, .brow = 0.5}, 160}},
          "gestureleft_return");
    b.add("gestureleft_return", {{Pose{.lean = -2, .armL = 60, .lookX = -0.5}, 110}, {Pose{.armL = 35}, 110}, {Rest, 100}});
    addLook(b, "lookleft", -1, 0);
    addLook(b, "lookright", 1, 0);
    addLook(b, "lookup", 0, -1);
    addLook(b, "lookdown", 0, 1);
    b.add("blink", {{Pose{.eyeOpen = 0.5}, 80}, {Pose{.eyeOpen = 0}, 80}, {Pose{.eyeOpen = 0.5}, 80}, {Rest, 80}});
    b.add("alert", {{Pose{.squash = 0.1, .armL = 30, .armR = 30}, 100},
                    {Pose{.dy = -6, .squash = -0.08, .armL = 65, .armR = 65, .wideEyes = true, .mouth = Mouth::Oh, .mouthOpen = 0.3, .brow = 1, .effect = Effect::Exclaim, .effectPhase = 0.3}, 120},
                    {Pose{.armL = 50, .armR = 50, .wideEyes = true, .mouth = Mouth::Flat, .brow = 1, .effect = Effect::Exclaim, .effectPhase = 1}, 180}},
          "alert_return");
    b.add("alert_return", {{Pose{.armL = 35, .armR = 35, .wideEyes = true, .brow = 0.5}, 110}, {Pose{.eyeOpen = 0.4}, 90}, {Rest, 100}});
    b.add("surprised", {{Pose{.squash = 0.12, .mouth = Mouth::Oh, .mouthOpen = 0.3}, 90},
                        {Pose{.dy = -12, .squash = -0.1, .armL = 125, .armR = 125, .wideEyes = true, .mouth = Mouth::Oh, .mouthOpen = 1, .brow = 1, .effect = Effect::Question, .effectPhase = 0.4}, 120},
                        {Pose{.dy = -4, .armL = 95, .armR = 95, .wideEyes = true, .mouth = Mouth::Oh, .mouthOpen = 0.8, .brow = 1, .effect = Effect::Question, .effectPhase = 1}, 120},
                        {Pose{.squash = 0.05, .armL = 70, .armR = 70, .wideEyes = true, .mouth = Mouth::Oh, .mouthOpen = 0.6, .brow = 1}, 180}},
          "surprised_return");
    b.add("surprised_return", {{Pose{.armL = 45, .armR = 45, .wideEyes = true, .mouth = Mouth::Oh, .mouthOpen = 0.3}, 110},
                               {Pose{.eyeOpen = 0.4}, 90}, {Rest, 100}});
}

void addIdles(Builder &b)
{
    b.add("idle_1", {{Pose{.lookX = -0.6}, 160}, {Pose{.lean = -2, .lookX = -1, .sway = -0.5}, 200},
                     {Pose{.lean = -2, .lookX = -1, .eyeOpen = 0}, 90}, {Pose{.lookX = 0}, 150},
                     {Pose{.lean = 2, .lookX = 1, .sway = 0.5}, 200}, {Pose{.lean = 2, .lookX = 1, .lookY = -0.6, .sway = 0.8}, 200},
                     {Pose{.lookX = 0.3}, 150}, {Rest, 150}});
    b.add("idle_2", {{Pose{.squash = -0.05, .armL = 120, .armR = 120, .eyeOpen = 0.6}, 180},
                     {Pose{.squash = -0.1, .armL = 165, .armR = 165, .eyeOpen = 0, .mouth = Mouth::Oh, .mouthOpen = 1}, 200},
                     {Pose{.squash = -0.1, .armL = 170, .armR = 170, .eyeOpen = 0, .mouth = Mouth::Oh, .mouthOpen = 0.9, .effect = Effect::Zzz, .effectPhase = 0.3}, 200},
                     {Pose{.squash = -0.04, .armL = 110, .armR = 110, .eyeOpen = 0.3, .mouth = Mouth::Oh, .mouthOpen = 0.5, .effect = Effect::Zzz, .effectPhase = 0.8}, 200},
                     {Pose{.squash = 0.06, .armL = 35, .armR = 35, .eyeOpen = 0.5}, 180},
                     {Rest, 150}});
    QList<Step> hum;
    for (int i = 0; i < 6; ++i) {
        const double side = i % 2 == 0 ? -1 : 1;
        hum.append({Pose{.dy = -1.5 * (i % 2), .lean = side * 4, .armL = 25.0 + 10 * (i % 2), .armR = 35.0 - 10 * (i % 2),
                         .happyEyes = true, .mouth = Mouth::Oh, .mouthOpen = 0.3, .sway = side * 0.7,
                         .effect = Effect::Notes, .effectPhase = i / 6.0}, 170});
    }
    hum.append({Rest, 150});
    b.add("idle_3", hum);
}

void addTools(Builder &b)
{
    b.add("postcall", {{Pose{.armR = 60, .prop = Prop::Trumpet, .propAngle = -35}, 120},
                       {Pose{.armR = 115, .eyeOpen = 0.5, .cheeksPuffed = true, .prop = Prop::Trumpet}, 120},
                       {Pose{.lean = -3, .armR = 125, .eyeOpen = 0, .cheeksPuffed = true, .prop = Prop::Trumpet, .propAngle = 8, .effect = Effect::Notes, .effectPhase = 0}, 150},
                       {Pose{.dy = -2, .lean = -5, .squash = -0.04, .armR = 130, .eyeOpen = 0, .cheeksPuffed = true, .prop = Prop::Trumpet, .propAngle = 14, .effect = Effect::Notes, .effectPhase = 0.33}, 150},
                       {Pose{.lean = -3, .armR = 125, .eyeOpen = 0, .cheeksPuffed = true, .prop = Prop::Trumpet, .propAngle = 8, .effect = Effect::Notes, .effectPhase = 0.66}, 150},
                       {Pose{.dy = -2, .lean = -6, .squash = -0.05, .armR = 130, .eyeOpen = 0, .cheeksPuffed = true, .prop = Prop::Trumpet, .propAngle = 18, .effect = Effect::Notes, .effectPhase = 0.9}, 200}},
          "postcall_return");
    b.add("postcall_return", {{Pose{.armR = 70, .prop = Prop::Trumpet, .propAngle = -35}, 120}, {Pose{.armR = 35, .mouth = Mouth::Grin}, 110}, {Rest, 100}});
    b.add("startgate", {{Pose{.armR = 130, .prop = Prop::Flag, .propAngle = -20}, 120},
                        {Pose{.armR = 160, .lookX = 0.5, .lookY = -0.5, .prop = Prop::Flag, .propAngle = -25}, 120},
                        {Pose{.lean = 2, .armR = 170, .lookX = 0.5, .lookY = -0.5, .prop = Prop::Flag, .propAngle = -5, .flagWave = 1.5}, 120},
                        {Pose{.armR = 155, .lookX = 0.5, .lookY = -0.5, .prop = Prop::Flag, .propAngle = -30, .flagWave = 3}, 120},
                        {Pose{.lean = 2, .armR = 170, .lookX = 0.5, .lookY = -0.5, .prop = Prop::Flag, .propAngle = -8, .flagWave = 4.5}, 120},
                        {Pose{.squash = 0.06, .armR = 165, .mouth = Mouth::Open, .mouthOpen = 0.9, .prop = Prop::Flag, .propAngle = -20, .flagWave = 6}, 100},
                        {Pose{.dy = -3, .lean = -4, .armR = 175, .mouth = Mouth::Open, .mouthOpen = 1, .prop = Prop::Flag, .propAngle = -38, .flagWave = 7.5}, 200}},
          "startgate_return");
    b.add("startgate_return", {{Pose{.armR = 120, .prop = Prop::Flag, .propAngle = -40, .flagWave = 9}, 120},
                               {Pose{.armR = 60, .mouth = Mouth::Grin, .prop = Prop::Flag, .propAngle = -25, .flagWave = 10}, 120},
                               {Rest, 100}});
}

} // namespace

QStringList requiredAnimations()
{
    return {"greet", "wave", "pleased", "cheer", "congratulate", "gestureleft", "lookleft", "lookright",
            "lookup", "lookdown", "blink", "alert", "surprised", "idle_1", "moveup", "hide", "postcall",
            "startgate", "show", "speak", "moveleft", "moveright", "movedown", "rest"};
}

States sharedStates()
{
    States s;
    s.showing = "show";
    s.hiding = "hide";
    s.speaking = "speak";
    s.moveLeft = "moveleft";
    s.moveRight = "moveright";
    s.moveUp = "moveup";
    s.moveDown = "movedown";
    s.idling = {{"idle_1", "blink", "lookleft", "lookright"}, {"idle_2", "idle_3", "blink"}};
    return s;
}

CharacterFile buildCharacter(const Traits &traits)
{
    CharacterFile file(traits.name, FrameWidth, FrameHeight);
    file.setVoice(traits.voice);
    file.setStates(sharedStates());
    Builder b(file, traits);
    b.add("rest", {{Rest, 100}});
    b.add("show", {{Pose{.scale = 0.15, .opacity = 0.3}, 90}, {Pose{.scale = 0.45, .opacity = 0.6, .eyeOpen = 0}, 90},
                   {Pose{.scale = 0.8, .opacity = 0.9, .eyeOpen = 0}, 90}, {Pose{.squash = -0.06, .scale = 1.06, .happyEyes = true}, 100},
                   {Pose{.squash = 0.04, .mouth = Mouth::Grin}, 100}, {Rest, 100}});
    b.add("hide", {{Pose{.squash = 0.1, .happyEyes = true, .mouth = Mouth::Grin}, 100}, {Pose{.squash = -0.05, .scale = 0.85, .opacity = 0.9, .eyeOpen = 0}, 90},
                   {Pose{.scale = 0.55, .opacity = 0.65, .eyeOpen = 0}, 90}, {Pose{.scale = 0.25, .opacity = 0.35, .eyeOpen = 0}, 90},
                   {Pose{.scale = 0, .opacity = 0}, 100}});
    b.add("speak", {{Pose{.mouth = Mouth::Open, .mouthOpen = 0.35}, 110}, {Pose{.dy = -1, .mouth = Mouth::Open, .mouthOpen = 0.85}, 100},
                    {Pose{.mouth = Mouth::Open, .mouthOpen = 0.5}, 110}, {Pose{.mouth = Mouth::Oh, .mouthOpen = 0.6}, 100},
                    {Pose{.dy = -1, .mouth = Mouth::Open, .mouthOpen = 0.15}, 90}, {Rest, 90}},
          QString(), true);
    b.add("moveleft", walk(-5, -1, 0, -1), QString(), true);
    b.add("moveright", walk(5, 1, 0, 1), QString(), true);
    b.add("moveup", walk(0, 0, -1, 2), QString(), true);
    b.add("movedown", walk(0, 0, 1, -2), QString(), true);
    addGreetings(b);
    addReactions(b);
    addIdles(b);
    addTools(b);
    return file;
}

} // namespace chars

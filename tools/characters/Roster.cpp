#include "Roster.h"

namespace chars {

namespace {

Voice voice(const char *variant, int rate, int pitch, int range)
{
    Voice v;
    v.variant = QString::fromLatin1(variant);
    v.rate = rate;
    v.pitch = pitch;
    v.range = range;
    return v;
}

} // namespace

Traits announcer()
{
    Traits t;
    t.name = "Oswin";
    t.fileName = "Announcer.acs";
    t.body = BodyShape::Round;
    t.ears = Ears::Tufts;
    t.snout = Snout::Beak;
    t.feet = Feet::Flat;
    t.arms = ArmStyle::Flipper;
    t.eyes = EyeStyle::Big;
    t.main = QColor(112, 92, 168);
    t.belly = QColor(228, 218, 245);
    t.accent = QColor(248, 172, 58);
    t.iris = QColor(232, 176, 40);
    t.limb = QColor(248, 172, 58);
    t.bodyWidth = 62;
    t.bodyHeight = 64;
    t.topHat = true;
    t.faceDisc = true;
    t.bowTie = true;
    t.voice = voice("m3", 175, 58, 85);
    return t;
}

QList<Traits> contestants()
{
    QList<Traits> list;

    Traits fox;
    fox.name = "Pip";
    fox.body = BodyShape::Egg;
    fox.ears = Ears::Pointy;
    fox.tail = Tail::Bushy;
    fox.snout = Snout::Muzzle;
    fox.main = QColor(240, 132, 52);
    fox.belly = QColor(255, 246, 234);
    fox.accent = QColor(70, 45, 40);
    fox.iris = QColor(110, 70, 30);
    fox.limb = QColor(80, 52, 44);
    fox.bodyWidth = 54;
    fox.bodyHeight = 62;
    fox.voice = voice("f2", 178, 66, 70);
    list.append(fox);

    Traits robot;
    robot.name = "Bolt";
    robot.body = BodyShape::Box;
    robot.ears = Ears::Antenna;
    robot.snout = Snout::Grille;
    robot.arms = ArmStyle::Robot;
    robot.eyes = EyeStyle::Visor;
    robot.main = QColor(150, 172, 198);
    robot.belly = QColor(205, 214, 228);
    robot.accent = QColor(255, 84, 84);
    robot.iris = QColor(90, 232, 255);
    robot.limb = QColor(96, 102, 118);
    robot.bodyWidth = 58;
    robot.bodyHeight = 58;
    robot.blush = false;
    robot.voice = voice("m7", 150, 35, 8);
    list.append(robot);

    Traits penguin;
    penguin.name = "Penny";
    penguin.body = BodyShape::Egg;
    penguin.snout = Snout::Beak;
    penguin.feet = Feet::Flat;
    penguin.arms = ArmStyle::Flipper;
    penguin.main = QColor(48, 58, 86);
    penguin.belly = QColor(250, 250, 252);
    penguin.accent = QColor(250, 162, 40);
    penguin.iris = QColor(70, 130, 210);
    penguin.limb = QColor(250, 162, 40);
    penguin.bodyWidth = 56;
    penguin.bodyHeight = 68;
    penguin.voice = voice("f4", 166, 72, 60);
    list.append(penguin);

    Traits cat;
    cat.name = "Miso";
    cat.body = BodyShape::Round;
    cat.ears = Ears::Pointy;
    cat.tail = Tail::Thin;
    cat.snout = Snout::Muzzle;
    cat.main = QColor(132, 142, 170);
    cat.belly = QColor(234, 234, 244);
    cat.accent = QColor(250, 165, 190);
    cat.iris = QColor(130, 205, 80);
    cat.bodyWidth = 58;
    cat.bodyHeight = 58;
    cat.whiskers = true;
    cat.voice = voice("f5", 160, 78, 85);
    list.append(cat);

    Traits snail;
    snail.name = "Shelly";
    snail.body = BodyShape::Snail;
    snail.ears = Ears::Stalks;
    snail.feet = Feet::Slide;
    snail.main = QColor(172, 222, 122);
    snail.accent = QColor(232, 138, 92);
    snail.iris = QColor(130, 86, 170);
    snail.bodyWidth = 76;
    snail.bodyHeight = 54;
    snail.voice = voice("f1", 125, 55, 40);
    list.append(snail);

    Traits dragon;
    dragon.name = "Ember";
    dragon.body = BodyShape::Egg;
    dragon.ears = Ears::Horns;
    dragon.tail = Tail::Spiky;
    dragon.snout = Snout::Nose;
    dragon.main = QColor(222, 78, 70);
    dragon.belly = QColor(252, 214, 124);
    dragon.accent = QColor(250, 176, 70);
    dragon.iris = QColor(250, 200, 40);
    dragon.bodyWidth = 58;
    dragon.bodyHeight = 60;
    dragon.wings = true;
    dragon.brows = true;
    dragon.voice = voice("m2", 160, 25, 60);
    list.append(dragon);

    Traits ghost;
    ghost.name = "Wisp";
    ghost.body = BodyShape::Ghost;
    ghost.feet = Feet::Float;
    ghost.arms = ArmStyle::Sleeve;
    ghost.eyes = EyeStyle::Dot;
    ghost.main = QColor(236, 240, 255);
    ghost.accent = QColor(180, 170, 240);
    ghost.iris = QColor(40, 30, 50);
    ghost.bodyWidth = 58;
    ghost.bodyHeight = 66;
    ghost.voice = voice("whisper", 140, 60, 90);
    list.append(ghost);

    Traits frog;
    frog.name = "Lily";
    frog.body = BodyShape::Wide;
    frog.ears = Ears::Bumps;
    frog.main = QColor(108, 196, 88);
    frog.belly = QColor(222, 242, 170);
    frog.accent = QColor(240, 120, 140);
    frog.iris = QColor(236, 184, 40);
    frog.limb = QColor(92, 170, 74);
    frog.eyes = EyeStyle::Big;
    frog.bodyWidth = 70;
    frog.bodyHeight = 48;
    frog.spots = true;
    frog.voice = voice("croak", 170, 40, 70);
    list.append(frog);

    Traits bear;
    bear.name = "Bruno";
    bear.body = BodyShape::Round;
    bear.ears = Ears::Round;
    bear.tail = Tail::Stub;
    bear.snout = Snout::Muzzle;
    bear.main = QColor(152, 102, 66);
    bear.belly = QColor(228, 194, 152);
    bear.accent = QColor(56, 38, 32);
    bear.iris = QColor(80, 50, 30);
    bear.bodyWidth = 66;
    bear.bodyHeight = 66;
    bear.voice = voice("m6", 145, 30, 50);
    list.append(bear);

    for (Traits &t : list)
        t.fileName = t.name + ".acs";
    return list;
}

} // namespace chars

#include "MemoryTest.h"

#include "Phrases.h"

#include <QPointer>
#include <QScopeGuard>

MemoryTest::MemoryTest(QuestionRound &questions, Clock &clock) : questions(questions), clock(clock)
{
    connect(&questions, &QuestionRound::memoryTestShown, this, &MemoryTest::start);
    connect(&questions, &QuestionRound::questionShown, this, &MemoryTest::close);
    connect(&questions, &QuestionRound::questionClosed, this, &MemoryTest::close);
    connect(&questions, &QuestionRound::questionReportChanged, this, &MemoryTest::changed);
}

WhenDone MemoryTest::after(int ms)
{
    return WhenDone([&clock = clock, ms](std::function<void()> done) { clock.after(ms, std::move(done)); });
}

bool MemoryTest::canSubmit() const
{
    return entering && !entered.isEmpty() && entered.size() >= stored.size() && !questions.answerReportPending();
}

void MemoryTest::setMemo(const QString &text)
{
    memoText = text;
}

void MemoryTest::paintSilver()
{
    circles.fill(QChar());
}

void MemoryTest::start(const QString &sequence)
{
    wantedPlayback = ++playback;
    open = true;
    entering = false;
    replaying = false;
    answersShown = true;
    setMemo(QString());   // no instructions of the last test
    stored = (sequence.isEmpty() ? stored : sequence).left(MaxSequence);
    entered.clear();
    emit opened();
    emit changed();
    if (!playing)
        Launch(playSequences());
}

void MemoryTest::ready()
{
    if (!open)
        return;
    ++playback;   // the sequence vanishes, even in the middle of its playback
    entering = true;
    setMemo(LookupPhrase(QStringLiteral("mt2")));
    entered.clear();
    paintSilver();
    emit changed();
}

void MemoryTest::rememorize()
{
    if (open && entering)
        Launch(replay());
}

Task<> MemoryTest::replay()
{
    entering = false;
    replaying = true;
    answersShown = false;
    entered.clear();
    emit changed();
    const QPointer<MemoryTest> self(this);
    const quint64 token = playback;
    co_await after(1000);
    // Gone, closed (skipped, the race over) or another test shown meanwhile: nothing to play.
    if (!self || playback != token)
        co_return;
    start(QString());
}

void MemoryTest::enter(int paletteIndex)
{
    const int count = int(entered.size());
    if (!entering || paletteIndex < 0 || paletteIndex >= PaletteSize || count >= circleCount())
        return;
    circles[size_t(count)] = PaletteLetters.at(paletteIndex);
    entered += PaletteLetters.at(paletteIndex);
    emit changed();
}

void MemoryTest::clear()
{
    entered.clear();
    paintSilver();
    emit changed();
}

AnswerVerdict MemoryTest::submit()
{
    if (!canSubmit())
        return AnswerVerdict::Ignored;
    const AnswerVerdict verdict = questions.submit(entered);
    switch (verdict) {
    case AnswerVerdict::Wrong:
        entered.clear();
        setMemo(LookupPhrase(QStringLiteral("mt3")) + QStringLiteral("\r\n") + LookupPhrase(QStringLiteral("mt2")));
        paintSilver();
        emit changed();
        break;
    case AnswerVerdict::Right:
        entered.clear();
        close();   // also when the round did not close the question itself
        break;
    case AnswerVerdict::Ignored:   // not taken: the entries stay for another try
        break;
    }
    return verdict;
}

void MemoryTest::skip()
{
    questions.skip();
}

void MemoryTest::close()
{
    ++playback;
    entering = false;
    replaying = false;
    if (!open)
        return;
    open = false;
    emit closed();
}

Task<bool> MemoryTest::paintSlowly(QString letters, int waitMs, quint64 token)
{
    const QPointer<MemoryTest> self(this);
    for (int i = 0; i < letters.size() && i < PaletteSize; ++i) {
        if (!self || playback != token)
            co_return false;
        circles[size_t(i)] = letters.at(i);
        emit changed();
        co_await after(waitMs);
    }
    co_return self && playback == token;
}

Task<bool> MemoryTest::playOnce(quint64 token)
{
    const QPointer<MemoryTest> self(this);
    co_await after(500);
    if (!self)
        co_return false;
    for (int round = 0; round < 5; ++round) {
        if (!co_await paintSlowly(RandomColours(random, PaletteSize), 25, token))
            co_return false;
    }
    paintSilver();
    if (!co_await paintSlowly(stored, 500, token))
        co_return false;
    setMemo(LookupPhrase(QStringLiteral("mt1")));
    emit changed();
    co_return true;
}

Task<> MemoryTest::playSequences()
{
    const QPointer<MemoryTest> self(this);
    playing = true;
    const auto done = qScopeGuard([self] {
        if (self)
            self->playing = false;
    });
    for (;;) {
        const quint64 token = wantedPlayback;
        if (co_await playOnce(token))
            co_return;
        // Interrupted: by a newer test (that one plays now), or by "Ready" or a close.
        if (!self || wantedPlayback == token || wantedPlayback != playback)
            co_return;
    }
}

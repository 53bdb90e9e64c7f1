#include "AgentHub.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

namespace agent::detail {

bool audioDeviceAvailable()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

ClipPlayer::ClipPlayer(QObject *parent)
    : QObject(parent), buffer_(new QBuffer(this))
{
}

ClipPlayer::~ClipPlayer()
{
    stop();
}

void ClipPlayer::play(const QAudioFormat &format, const QByteArray &pcm)
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || pcm.isEmpty() || !device.isFormatSupported(format))
        return;
    sink_ = new QAudioSink(device, format, this);
    buffer_->setData(pcm);
    buffer_->open(QIODevice::ReadOnly);
    sink_->start(buffer_);
}

void ClipPlayer::stop()
{
    if (sink_) {
        sink_->stop();
        delete sink_;
        sink_ = nullptr;
    }
    buffer_->close();
}

} // namespace agent::detail

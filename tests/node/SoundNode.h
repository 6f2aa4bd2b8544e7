// A node of a test's loopback block with the audio library's network audio device as its
// sound card: a port of the test hears its output, and the test feeds its input.
#pragma once

#include "NodeProcess.h"
#include "UdpAudioPort.h"
#include "automation/AutomationContract.h"

struct SoundNode
{
    SoundNode(const QString &name, const QString &block, int host)
        : node(name, block, host), address(block + QLatin1Char('.') + QString::number(host)),
          speaker(address), microphonePort(UdpAudioPort::freePort(address))
    {}

    QMap<QString, QString> config(const QString &callsign) const
    {
        QMap<QString, QString> values = node.standardConfig(callsign);
        values.insert(QStringLiteral("Audio/InputDevice"),
                      QString::fromStdString(UdpAudioPort::deviceName(address, microphonePort)));
        values.insert(QStringLiteral("Audio/OutputDevice"), QString::fromStdString(speaker.deviceName()));
        return values;
    }

    QDBusMessage transmit(bool on)
    {
        return node.call(Automation::StationPath, Automation::StationInterface, Automation::TransmitMethod,
                         {on});
    }

    bool isTransmitting()
    {
        return node
            .call(Automation::StationPath, Automation::StationInterface, Automation::IsTransmittingMethod)
            .arguments()
            .value(0)
            .toBool();
    }

    NodeProcess node;
    QHostAddress address;
    UdpAudioPort speaker;
    UdpAudioPort microphone{address};
    uint16_t microphonePort;
};

// The station's MQTT service alone, in a process of its own, running until
// it is killed: the last-will test kills it with SIGKILL. Reads its settings
// from the database under VANTORO_HOME and prints each broker state line.
#include "core/station_bus.h"
#include "mqtt/mqtt_publisher.h"

#include <QCoreApplication>
#include <cstdio>

using namespace vantoro;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    MqttPublisher publisher(stationBus());
    QObject::connect(&publisher, &MqttPublisher::stateChanged, [](const QString &text) {
        std::printf("%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    publisher.start();
    return app.exec();
}

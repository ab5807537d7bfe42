#include "HostFixture.h"

#include <QAction>
#include <QDir>
#include <QFile>

bool RecordingTransport::transact(const QByteArray& request, QByteArray* answer)
{
    requests.append(request);
    if (beforeRequest)
        beforeRequest(request);
    return m_tcp.transact(request, answer);
}

HostFixture::HostFixture(quint16 port, const BackendVersions& versions, int timeoutMs)
    : m_previousHome(qgetenv("HOME")), m_transport(QStringLiteral("127.0.0.1"), port),
      m_io(&m_transport, &m_log, &m_bus), m_versions(versions)
{
    m_transport.setTimeout(timeoutMs);
    QDir(m_home.path()).mkpath(QStringLiteral(".OLV/MORVEK3"));
    qputenv("HOME", QFile::encodeName(m_home.path()));
    m_window.setObjectName(QStringLiteral("hostWindow"));
    m_window.resize(800, 600);
    m_window.show();
}

HostFixture::~HostFixture()
{
    m_plugin.shutdown();
    qputenv("HOME", m_previousHome);
}

bool HostFixture::attach(QString* error)
{
    if (!m_plugin.load(PluginHost::defaultPluginPath(), error))
        return false;
    if (m_plugin.attach(&m_io, &m_window, &m_versions, false).size() != 1) {
        *error = QStringLiteral("the module offers no single menu action");
        return false;
    }
    return true;
}

QAction* HostFixture::action() const
{
    return m_plugin.actions().value(0);
}

void HostFixture::openDialog()
{
    if (QAction* a = action())
        a->trigger();
}

QStringList HostFixture::moduleLog() const
{
    QStringList texts;
    for (const EventLog::Entry& entry : m_log.entries())
        if (entry.source == QLatin1String("MORVEK3"))
            texts << entry.text;
    return texts;
}

QString HostFixture::recordPath() const
{
    return m_home.filePath(QStringLiteral(".OLV/MORVEK3/roomcal_out.txt"));
}

QByteArray HostFixture::record() const
{
    QFile file(recordPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

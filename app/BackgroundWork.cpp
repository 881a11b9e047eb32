#include "BackgroundWork.h"

void BackgroundWork::Request::post(std::function<void()> step) const
{
    QMetaObject::invokeMethod(
        m_work,
        [request = *this, step = std::move(step)] {
            if (request.m_work->isCurrent(request))
                step();
        },
        Qt::QueuedConnection);
}

BackgroundWork::BackgroundWork(QObject *parent)
    : QObject(parent)
{
    // Most jobs wait on a worker process rather than compute, and a check or a write cannot be
    // stopped: a stuck one must not hold up the reads and previews behind it.
    m_pool.setMaxThreadCount(8);
}

BackgroundWork::~BackgroundWork()
{
    for (const Request &request : std::as_const(m_current))
        request.m_cancel->store(true);
    m_pool.waitForDone();
}

bool BackgroundWork::stop(const QString &kind)
{
    const auto current = m_current.constFind(kind);
    if (current == m_current.cend())
        return false;
    current->m_cancel->store(true);
    m_current.erase(current);
    emit busyChanged(kind, false);
    return true;
}

BackgroundWork::Request BackgroundWork::begin(const QString &kind)
{
    const bool wasBusy = m_current.contains(kind);
    if (wasBusy)
        m_current[kind].m_cancel->store(true);
    Request request;
    request.m_work = this;
    request.m_kind = kind;
    request.m_token = ++m_lastToken;
    request.m_cancel = std::make_shared<std::atomic_bool>(false);
    m_current.insert(kind, request);
    ++m_running;
    if (!wasBusy)
        emit busyChanged(kind, true);
    return request;
}

bool BackgroundWork::isCurrent(const Request &request) const
{
    const auto current = m_current.constFind(request.m_kind);
    return current != m_current.cend() && current->m_token == request.m_token;
}

bool BackgroundWork::end(const Request &request)
{
    --m_running;
    if (!isCurrent(request))
        return false;
    m_current.remove(request.m_kind);
    emit busyChanged(request.m_kind, false);
    return true;
}

#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Everything the window runs off its own thread, as requests of a kind ("preview", "check", a
// source role): each request carries its own token and cancel flag. Starting a request stops the
// one of its kind before it; only the newest request of a kind delivers its result, on the
// owner's thread, and a stopped one never does.
//
// A job passes the flag on to whatever it waits for long (the decoding worker ends within a few
// milliseconds of it), so destroying this object, which stops every request and then waits for
// their jobs, takes a moment. A job that ignores the flag, as a write does, is finished rather
// than abandoned half done.
class BackgroundWork : public QObject
{
    Q_OBJECT
public:
    // What a job holds of its request; copies share the flag.
    class Request
    {
    public:
        const std::atomic_bool *cancel() const { return m_cancel.get(); }
        bool isStopped() const { return m_cancel->load(); }
        // Runs `step` on the owner's thread, unless the request is stopped or replaced by then.
        void post(std::function<void()> step) const;

    private:
        friend class BackgroundWork;
        BackgroundWork *m_work = nullptr;
        QString m_kind;
        quint64 m_token = 0;
        std::shared_ptr<std::atomic_bool> m_cancel;
    };

    explicit BackgroundWork(QObject *parent = nullptr);
    ~BackgroundWork() override;

    template <typename Result>
    void start(const QString &kind, std::function<Result(const Request &)> job,
               std::function<void(const Result &)> done);
    // Stops the kind's request under way, if there is one, and says whether there was.
    bool stop(const QString &kind);
    // The kind has a request whose result is still to come.
    bool isBusy(const QString &kind) const { return m_current.contains(kind); }
    // No job runs or waits for a thread, stopped ones included.
    bool isIdle() const { return m_running == 0; }

signals:
    void busyChanged(const QString &kind, bool busy);

private:
    Request begin(const QString &kind);
    bool isCurrent(const Request &request) const;
    // Whether the request ending is still its kind's newest: only then is its result taken.
    bool end(const Request &request);

    QThreadPool m_pool;
    QHash<QString, Request> m_current;
    quint64 m_lastToken = 0;
    int m_running = 0;
};

template <typename Result>
void BackgroundWork::start(const QString &kind, std::function<Result(const Request &)> job,
                           std::function<void(const Result &)> done)
{
    const Request request = begin(kind);
    m_pool.start([this, request, job = std::move(job), done = std::move(done)]() mutable {
        std::optional<Result> result;
        if (!request.isStopped())
            result = job(request);
        QMetaObject::invokeMethod(
            this,
            [this, request, result = std::move(result), done = std::move(done)] {
                if (end(request) && result)
                    done(*result);
            },
            Qt::QueuedConnection);
    });
}

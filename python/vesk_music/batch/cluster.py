"""The local cluster a batch runs on when no scheduler is given."""

import signal

from .interrupts import ctrl_c_taken_by

# Where the dashboard listens when it is asked for (loopback only).
DASHBOARD_ADDRESS = "127.0.0.1:8787"


def local_cluster(workers: int, dashboard: bool = False):
    """`workers` worker processes of one thread each, on loopback.

    Without `dashboard` none is started, and the scheduler's own HTTP
    server takes any free port: another batch holding 8787 is no reason
    for a warning.

    The workers ignore Ctrl-C, which a terminal sends to them too: the
    process that runs the batch takes it, gives its account and closes them.

    The workers' statistical profiler is off: it samples every thread 100
    times a second, which on a machine with one worker per core takes time
    from tracking (a worker of a remote cluster is started with
    DASK_DISTRIBUTED__WORKER__PROFILE__ENABLED=False for the same).
    """
    import dask
    from distributed import LocalCluster

    with ctrl_c_taken_by(signal.SIG_IGN), \
            dask.config.set({"distributed.worker.profile.enabled": False}):
        return LocalCluster(n_workers=max(1, workers), threads_per_worker=1, processes=True,
                            host="127.0.0.1",
                            dashboard_address=(DASHBOARD_ADDRESS if dashboard
                                               else "127.0.0.1:0"),
                            scheduler_kwargs={"dashboard": dashboard})

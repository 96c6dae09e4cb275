"""The local cluster a batch runs on when no scheduler is given."""


def local_cluster(workers: int):
    """`workers` worker processes of one thread each, on loopback.

    The workers' statistical profiler is off: it samples every thread 100
    times a second, which on a machine with one worker per core takes time
    from tracking (a worker of a remote cluster is started with
    DASK_DISTRIBUTED__WORKER__PROFILE__ENABLED=False for the same).
    """
    import dask
    from distributed import LocalCluster

    with dask.config.set({"distributed.worker.profile.enabled": False}):
        return LocalCluster(n_workers=max(1, workers), threads_per_worker=1, processes=True,
                            host="127.0.0.1", dashboard_address=None)

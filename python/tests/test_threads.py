"""Independent scenes from ten threads: safe, and the same results as one after the other."""
import threading

import numpy as np

import vantrel


def test_ten_threads_with_scenes_of_their_own(examples):
    jobs = [("fountain", 25), ("campfire", 30), ("snow", 20), ("sparks", 15), ("swarm", 35)] * 2
    expected = [vantrel.Scene(examples / name / "scene.json").particles(frame) for name, frame in jobs]
    results, failures = [None] * len(jobs), []

    def work(i, name, frame):
        try:
            scene = vantrel.Scene(examples / name / "scene.json")
            for _ in range(2):
                parts = scene.particles(frame)
                rgba, _ = scene.render(frame, width=24, height=16)
                if name == "fountain":
                    scene.node("Fountain").update_system(0, lifespan=40 + i)
            results[i] = parts
        except Exception as e:  # noqa: BLE001 - reported below
            failures.append(f"{name}: {e!r}")

    threads = [threading.Thread(target=work, args=(i, *job)) for i, job in enumerate(jobs)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not failures
    for (name, frame), got, want in zip(jobs, results, expected):
        if name == "fountain":
            continue  # its settings changed on the way
        for key in want:
            np.testing.assert_array_equal(got[key], want[key], err_msg=f"{name} {key}")

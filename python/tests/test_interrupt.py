"""Ctrl+C stops a long call; errors never end the interpreter."""
import os
import signal
import subprocess
import sys
import textwrap
import time


def test_ctrl_c_interrupts_a_long_bake(examples):
    script = textwrap.dedent(f"""
        import sys, time, vantrel
        scene = vantrel.Scene({str(examples / "fountain" / "scene.json")!r})
        print("ready", flush=True)
        start = time.time()
        try:
            scene.particles(2_000_000)
        except KeyboardInterrupt:
            print("interrupted after %.1f s" % (time.time() - start), flush=True)
        # The module goes on working afterwards.
        print(len(scene.particles(10)["id"]) > 0, flush=True)
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, env=os.environ)
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(1.0)
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=30)
    finally:
        child.kill()
    assert child.returncode == 0, err
    lines = out.split("\n")
    assert lines[0].startswith("interrupted after"), out + err
    assert lines[1] == "True"


def test_errors_are_exceptions_not_crashes(examples, tmp_path):
    import vantrel
    scene = vantrel.Scene(examples / "fountain" / "scene.json")
    for call in (lambda: scene.save(tmp_path / "no" / "such" / "folder" / "x.json"),
                 lambda: scene.render(-5, width=0, height=-1),
                 lambda: vantrel.read_exr(tmp_path / "none.exr")):
        try:
            call()
        except vantrel.Error:
            pass
        else:
            raise AssertionError("no error")

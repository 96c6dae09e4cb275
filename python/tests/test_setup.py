import subprocess
import sys

from conftest import ROOT


def test_setup_refuses_an_interpreter_without_numpy_naming_the_one_to_use(tmp_path):
    # A virtual environment that does not see Debian's packages, as a pyenv
    # or conda interpreter first on the PATH would be.
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(tmp_path / "venv")],
                   check=True)
    python = tmp_path / "venv" / "bin" / "python3"
    run = subprocess.run([str(python), "setup.py", "--name"], cwd=ROOT, capture_output=True,
                         text=True)
    assert run.returncode == 1
    assert f"cannot be built for {python}" in run.stderr
    assert "numpy" in run.stderr
    assert "use Debian's interpreter: /usr/bin/python3 -m pip install" in run.stderr
    # Debian's own interpreter builds it.
    ok = subprocess.run(["/usr/bin/python3", "setup.py", "--name"], cwd=ROOT, capture_output=True,
                        text=True)
    assert ok.returncode == 0 and ok.stdout.strip() == "vesk_music"

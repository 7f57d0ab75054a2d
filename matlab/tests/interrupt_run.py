"""A Ctrl-C during a silent run ends it cleanly: orthopair_run returns the
best X so far with info.stop = 'interrupted' instead of raising an error.

Octave takes a Ctrl-C only from a terminal, so the test runs octave-cli on a
pseudo-terminal, starts a run that would take far longer than the test,
types Ctrl-C into it once the run has begun, and reads what the session
prints afterwards.

usage: interrupt_run.py <octave-cli> <folder of the MEX-files>
"""
import os
import pty
import select
import shutil
import sys
import tempfile
import time


def main():
    octave, mex_dir = sys.argv[1], sys.argv[2]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(octave, [octave, "--no-gui", "--norc", "--quiet", "--no-history"])
    output = bytearray()

    def read_for(seconds, until=None):
        end = time.time() + seconds
        while time.time() < end:
            if until is not None and until in output:
                return True
            ready, _, _ = select.select([fd], [], [], 0.1)
            if ready:
                try:
                    output.extend(os.read(fd, 65536))
                except OSError:
                    break
        return until is not None and until in output

    # The session runs a script by name, so that the terminal's echo of the
    # typed line holds none of the words looked for below.
    folder = tempfile.mkdtemp()
    with open(os.path.join(folder, "interrupted_run.m"), "w") as script:
        script.write(
            "addpath('%s');\n" % mex_dir.replace("'", "''")
            + "n = 2000; D = seeded_uniform(100, n, 3) - 0.5; C = D' * D;\n"
            "X0 = orth(seeded_uniform(n, 8, 4) - 0.5);\n"
            "disp('RUN STARTS');\n"
            "[X, info] = orthopair_run(-C, [], 0.01, X0, "
            "struct('rule', 'uniform', 'tol', 0, 'tol_stat', 0));\n"
            "printf('STOP %s FEAS %.3g FERR %.3g\\n', info.stop, norm(X' * X - eye(8), 'fro'), "
            "abs(info.f - (-0.5 * trace(X' * C * X) + 0.01 * sum(abs(X(:))))) / abs(info.f));\n"
        )
    code = "cd('%s'); interrupted_run\n" % folder.replace("'", "''")
    read_for(3)
    os.write(fd, code.encode())
    if not read_for(300, b"RUN STARTS"):
        sys.exit("the run did not start:\n" + output.decode(errors="replace"))
    read_for(3)
    os.write(fd, b"\x03")
    finished = read_for(60, b"FERR")
    read_for(1)
    os.write(fd, b"exit\n")
    read_for(3)
    text = output.decode(errors="replace")
    shutil.rmtree(folder, ignore_errors=True)
    # The terminal shows the Ctrl-C as ^C just before the line.
    line = next((l[l.index("STOP "):] for l in text.splitlines() if "STOP " in l), None)
    if not finished or line is None:
        sys.exit("no result after Ctrl-C:\n" + text)
    words = line.split()
    if words[1] != "interrupted" or float(words[3]) > 1e-12 or float(words[5]) > 1e-12:
        sys.exit("after Ctrl-C: " + line)
    print(line)


if __name__ == "__main__":
    main()

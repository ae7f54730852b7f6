# gdb script for check-export.sh: every frame of a core dump with the file its code
# lies in, as "<tag> <pc> <file> <function>": tag "crash" for the thread that
# crashed, "thread" for every thread (the crashing one again among them).
import gdb


def frames(tag):
    try:
        frame = gdb.newest_frame()
        while frame is not None:
            pc = frame.pc()
            where = gdb.solib_name(pc) or gdb.current_progspace().filename
            print("%s %#x %s %s" % (tag, pc, where, frame.name() or "??"))
            frame = frame.older()
    except gdb.error as error:  # a stack too broken to walk to the end
        print("%s ? ? (%s)" % (tag, error))


crashed = gdb.selected_thread()
frames("crash")
for thread in gdb.selected_inferior().threads():
    thread.switch()
    frames("thread")
crashed.switch()

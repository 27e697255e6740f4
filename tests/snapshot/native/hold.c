/* Keeps an object as a JNI local reference of a thread that never leaves its native
   method, so a heap dump shows it as that thread's JNI local root. (The argument itself
   lives in the caller's frame; a new local reference lives in the thread's handles.) */
#include <jni.h>
#include <unistd.h>

JNIEXPORT void JNICALL Java_NativeHold_hold(JNIEnv* env, jclass cls, jobject o)
{
    (void)cls;
    jobject local = (*env)->NewLocalRef(env, o);
    (void)local;
    for (;;)
        sleep(1000);
}

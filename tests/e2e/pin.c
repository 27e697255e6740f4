/* Pins an object for the test program with a JNI global reference, the root kind the
   agent lists by default. The reference is never deleted. */
#include <jni.h>
#include <stdint.h>

JNIEXPORT void JNICALL Java_Pin_pin(JNIEnv* env, jclass cls, jobject o)
{
    (void)cls;
    (*env)->NewGlobalRef(env, o);
}

/* Pins an object until unpinRef; the reference travels to Java as a number. */
JNIEXPORT jlong JNICALL Java_Pin_pinRef(JNIEnv* env, jclass cls, jobject o)
{
    (void)cls;
    return (jlong)(intptr_t)(*env)->NewGlobalRef(env, o);
}

JNIEXPORT void JNICALL Java_Pin_unpinRef(JNIEnv* env, jclass cls, jlong ref)
{
    (void)cls;
    (*env)->DeleteGlobalRef(env, (jobject)(intptr_t)ref);
}

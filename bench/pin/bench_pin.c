/* Pins an object for a benchmark heap with a JNI global reference that is never deleted. */
#include <jni.h>

JNIEXPORT void JNICALL Java_Pin_pin(JNIEnv* env, jclass cls, jobject o)
{
    (void)cls;
    (*env)->NewGlobalRef(env, o);
}
